// The scales panel: several simulated scales at once over TCP and UDP, a
// refused one, a serial device the window holds, the list file, and
// closing while uploads run.
#include "MessageBox.h"
#include "ScalesModel.h"
#include "ScalesPanel.h"
#include "StatusLine.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "okno.h"

#include <QAction>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>
#include <QTest>

#include <memory>

class ScalesPanelTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;
    const QByteArray streamed = "SbP\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n";

    static quint16 FreeTcpPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();  // free again on return: a scale there refuses
    }
    static QString State(const TForm1& w, int row)
    {
        return w.ScalesPanel->Model->StateText(w.ScalesPanel->Model->Row(row));
    }
    QString Database()
    {
        const QString path = env->folder.File(QStringLiteral("db.csv"));
        WriteAll(path, "1;Salt\n2;Pepper\n");
        return path;
    }

private slots:
    void init() { env = std::make_unique<WindowTestEnv>(); }
    void cleanup() { env.reset(); }

    void sendsToSeveralScalesAtOnce()
    {
        ScaleSim tcp("tcp", {"--count", "3"}), udp("udp", {"--host", "127.0.0.2", "--count", "2"});
        QVERIFY(tcp.Started() && udp.Started());
        const quint16 refused = FreeTcpPort();
        PtyPair pty;
        TForm1 w;
        w.show();
        w.LoadDatabase(Database());
        // The window holds the serial device open; the panel's scale on it cannot have it.
        w.ComPort1.SetPort(pty.SlavePath());
        w.btnOpenPortClick();
        QVERIFY(w.ComPort1.Connected());
        QByteArray list = "# the shop\n";
        for (int i = 0; i < 3; ++i)
            list += QStringLiteral("tcp://127.0.0.1:%1 Counter %2\n").arg(tcp.Port(i)).arg(i + 1).toLatin1();
        for (int i = 0; i < 2; ++i)
            list += QStringLiteral("udp://%1:%2\n").arg(udp.Host(i)).arg(udp.Port(i)).toLatin1();
        list += QStringLiteral("tcp://127.0.0.1:%1 Back room\nserial:%2\n").arg(refused).arg(pty.SlavePath()).toLatin1();
        const QString listPath = env->folder.File("shop.txt");
        WriteAll(listPath, list);
        w.OpenScales(listPath);  // as scaledb --scales shop.txt does
        QVERIFY(w.ScalesPanel->isVisible());
        QCOMPARE(w.ScalesPanel->Model->rowCount(), 7);
        QCOMPARE(State(w, 0), QStringLiteral("idle"));

        w.ScalesPanel->btnSendAll->click();
        QCOMPARE(w.ScalesPanel->btnSendAll->text(), QStringLiteral("Stop all"));
        QTRY_COMPARE_WITH_TIMEOUT(w.ScalesPanel->Model->RunningCount(), 0, 20000);
        QCOMPARE(w.ScalesPanel->btnSendAll->text(), QStringLiteral("Send to all scales"));
        for (int i = 0; i < 5; ++i)
            QVERIFY2(State(w, i).startsWith("accepted in "), qPrintable(State(w, i)));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(tcp.Recorded(i), streamed);
        QByteArray overUdp = streamed;
        overUdp.replace("\r\n", QByteArray(1, '\0'));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(udp.Recorded(i), QByteArray(1, '\0') + overUdp);  // after the one-byte opening datagram
        QCOMPARE(State(w, 5), QStringLiteral("failed: cannot connect: connection refused"));
        QVERIFY2(State(w, 6).endsWith("in use by another program"), qPrintable(State(w, 6)));
        const QString inUse = QStringLiteral("%1 cannot open %1: serial device in use by another program").arg(pty.SlavePath());
        QCOMPARE(w.StatusLine->Text(),
                 QStringLiteral("5 of 7 scales accepted the database; 2 failed: Back room cannot connect: connection refused, ")
                     + inUse);
        QVERIFY(w.CommLog.rowCount() > 0);

        // The refusing scale comes up; only the failed ones are sent again.
        ScaleSim late("tcp", {}, refused);
        QVERIFY(late.Started());
        w.ScalesPanel->btnSendFailed->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.ScalesPanel->Model->RunningCount(), 0, 20000);
        QVERIFY2(State(w, 5).startsWith("accepted in "), qPrintable(State(w, 5)));
        QCOMPARE(late.Recorded(), streamed);
        QCOMPARE(tcp.Recorded(0), streamed);  // not sent again
        QCOMPARE(w.StatusLine->Text(), QStringLiteral("1 of 2 scales accepted the database; 1 failed: ") + inUse);
        QVERIFY(w.ScalesPanel->SaveReport(env->folder.File("report.json")));
        QVERIFY(ReadAll(env->folder.File("report.json")).contains("\"name\": \"Back room\""));
        w.FormClose();
    }

    void listRoundTripsWithNamesAndComments()
    {
        const QByteArray list = "# the shop's scales\n\ntcp://192.168.1.14:4001 Deli counter  # by the door\n"
                                "udp://192.168.1.15:4001\nserial:/dev/ttyUSB0@9600 Back room\n# end\n";
        WriteAll(env->folder.File("scales.txt"), list);
        {
            TForm1 w;  // reads scales.txt from the settings folder
            QCOMPARE(w.ScalesPanel->Model->rowCount(), 3);
            QCOMPARE(w.ScalesPanel->Model->Row(0).Entry.Target.Name, QStringLiteral("Deli counter"));
            QCOMPARE(w.ScalesPanel->Model->Row(1).Entry.Target.Name, QStringLiteral("udp://192.168.1.15:4001"));
            QVERIFY(w.ScalesPanel->SaveList(env->folder.File("copy.txt")));
            QCOMPARE(ReadAll(env->folder.File("copy.txt")), list);
            w.ScalesPanel->ScalesView->selectRow(1);
            w.ScalesPanel->btnRemove->click();
            w.FormClose();
        }
        QCOMPARE(ReadAll(env->folder.File("scales.txt")),
                 QByteArray(list).replace("udp://192.168.1.15:4001\n", ""));
        // A line that is no link names itself.
        WriteAll(env->folder.File("bad.txt"), "tcp://192.168.1.14:4001\ntcp://192.168.1.14 Deli\n");
        TForm1 w;
        QVERIFY(!w.ScalesPanel->OpenList(env->folder.File("bad.txt")));
        QCOMPARE(env->boxes.Boxes().value(0).text,
                 env->folder.File("bad.txt") + QStringLiteral(":2: bad link tcp://192.168.1.14 Deli"));
        QCOMPARE(w.ScalesPanel->Model->rowCount(), 2);  // the list is left as it was
        w.FormClose();
    }

    // Closing asks while an upload runs, by the close box and by File >
    // Quit's Ctrl+Q alike; the keys that send also stop.
    void closingWhileSendingAsks_data()
    {
        QTest::addColumn<bool>("byKeys");
        QTest::newRow("close box") << false;
        QTest::newRow("Ctrl+Q") << true;
    }
    void closingWhileSendingAsks()
    {
        QFETCH(bool, byKeys);
        const auto close = [&](TForm1& w) {
            if (!byKeys)
                return w.close();
            QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
            return !w.isVisible();
        };
        ScaleSim silent("tcp", {"--silent-after", "1"});
        QVERIFY(silent.Started());
        TForm1 w;
        w.show();
        w.LoadDatabase(Database());
        TScaleListEntry e;
        QVERIFY(ParseLink(QStringLiteral("tcp://127.0.0.1:%1").arg(silent.Port()), e.Target));
        w.ScalesPanel->Model->SetList({{e}, {}});
        w.ScalesPanel->btnSendAll->click();
        QTRY_COMPARE(State(w, 0), QStringLiteral("sending record 1 of 2"));
        env->boxes.Answer(IDNO);
        QVERIFY(!close(w));
        QCOMPARE(env->boxes.Boxes().value(0).text, QStringLiteral("An upload is running (record 1 of 2; 1 scale). Close anyway?"));
        QCOMPARE(w.ScalesPanel->Model->RunningCount(), 1);
        QVERIFY(w.isVisible());
        QTest::keyClick(&w, Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(State(w, 0), QStringLiteral("interrupted"));
        QCOMPARE(w.StatusLine->Text(), QStringLiteral("0 of 1 scale accepted the database; 1 interrupted"));
        env->boxes.Clear();
        QFile::remove(env->folder.File("config.xml"));
        QVERIFY(close(w));
        QCOMPARE(env->boxes.Count(), 0);  // nothing runs: no question
        QVERIFY(QFile::exists(env->folder.File("config.xml")));  // the close sequence ran
    }
};

QTEST_MAIN(ScalesPanelTest)
#include "scalespanel_test.moc"
