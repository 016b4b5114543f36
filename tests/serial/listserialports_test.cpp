#include "CPort.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class ListSerialPortsTest : public QObject {
    Q_OBJECT
private slots:
    void listsDevicesWithHardware();
    void missingFolderRaises23();
    void emptyFolderEmptiesTheList();

private:
    static void AddEntry(const QString& root, const QString& name, bool driver, const QByteArray& type = {});
};

void ListSerialPortsTest::AddEntry(const QString& root, const QString& name, bool driver, const QByteArray& type)
{
    QDir dir(root);
    QVERIFY(dir.mkpath(name + (driver ? "/device/driver" : "/device")));
    if (!type.isEmpty()) {
        QFile f(root + "/" + name + "/type");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(type);
    }
}

void ListSerialPortsTest::listsDevicesWithHardware()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    AddEntry(root.path(), "ttyS0", true, "4\n");
    AddEntry(root.path(), "ttyS1", true);
    AddEntry(root.path(), "ttyS9", true);
    AddEntry(root.path(), "ttyS2", false);       // no driver: no hardware
    AddEntry(root.path(), "ttyS3", true, "0\n");  // a slot of unknown type
    AddEntry(root.path(), "ttyUSB0", true);
    AddEntry(root.path(), "ttyACM0", true);
    QVERIFY(QDir(root.path()).mkpath("tty1"));  // a console, no device

    QStringList list{"stale entry"};
    ListSerialPorts(list, root.path());
    QCOMPARE(list, QStringList({"COM1", "COM10", "COM2", "ttyACM0", "ttyUSB0"}));
}

void ListSerialPortsTest::missingFolderRaises23()
{
    QTemporaryDir root;
    QStringList list{"kept"};
    try {
        ListSerialPorts(list, root.path() + "/absent");
        QFAIL("no exception");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, 23);
        QCOMPARE(e.SystemErrorCode, 2);
        QCOMPARE(e.Message(), QString("Registry error (win error code: 2)"));
    }
    QCOMPARE(list, QStringList{"kept"});
}

void ListSerialPortsTest::emptyFolderEmptiesTheList()
{
    QTemporaryDir root;
    QStringList list{"COM7"};
    ListSerialPorts(list, root.path());
    QVERIFY(list.isEmpty());
}

QTEST_GUILESS_MAIN(ListSerialPortsTest)
#include "listserialports_test.moc"
