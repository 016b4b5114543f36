#include "CPort.h"
#include "TestSupport.h"

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
    void adaptersWithStablePathsAndTexts();

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

void ListSerialPortsTest::adaptersWithStablePathsAndTexts()
{
    PtyPair pty;
    ScratchSerialTree tree;
    QVERIFY(tree.IsValid());
    tree.AddPort("ttyS0");
    tree.AddAdapter("ttyUSB0", "1-1", "FT232R USB UART", "A50285BI");
    tree.AddAdapter("ttyACM0", "1-2", "Scale CDC", "");
    tree.AddAdapter("ttyUSB1", "1-3", "", "");  // a CH340 names nothing: the hub's texts must not show
    const QString ftdi = tree.Link("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0", pty.SlavePath());
    tree.Link("usb-1a86_USB_Serial-if00-port0", "ttyUSB1", "");  // its node is gone: left out

    QList<TSerialDeviceInfo> list;
    ListSerialDevices(list, tree.Tty(), tree.ById());
    QStringList rows;
    for (const TSerialDeviceInfo& d : list)
        rows << QStringList{d.Kernel, d.Caption(), d.PortName(), d.SerialNumber}.join('|');
    QCOMPARE(rows, QStringList({
                       "ttyS0|COM1|COM1|",
                       "ttyACM0|ttyACM0 \u2014 Scale CDC|ttyACM0|",
                       "ttyUSB0|ttyUSB0 \u2014 FT232R USB UART (A50285BI)|" + ftdi + "|A50285BI",
                       "ttyUSB1|ttyUSB1|ttyUSB1|",
                   }));

    // The stored stable path opens the adapter behind it.
    TComPort port;
    port.SetPort(list[2].PortName());
    port.OpenPort();
    port.WriteText("Sr1\r\n");
    QCOMPARE(pty.ReadExactly(5), QByteArray("Sr1\r\n"));
}

QTEST_GUILESS_MAIN(ListSerialPortsTest)
#include "listserialports_test.moc"
