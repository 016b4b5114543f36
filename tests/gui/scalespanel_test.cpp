// The scales panel: several simulated scales at once over TCP and UDP, a
// refused one, a serial device the window holds, the list file, and
// closing while uploads run.
#include "CommLogPanel.h"
#include "MessageBox.h"
#include "QuitSignals.h"
#include "ScaleDialog.h"
#include "ScalesModel.h"
#include "ScalesPanel.h"
#include "StatusLine.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "okno.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>
#include <QTest>

#include <csignal>
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
        QCOMPARE(w.StatusLine->Text(), QStringLiteral("Sending to 2 scales…"));  // not the last run's outcome
        QTRY_COMPARE_WITH_TIMEOUT(w.ScalesPanel->Model->RunningCount(), 0, 20000);
        QVERIFY2(State(w, 5).startsWith("accepted in "), qPrintable(State(w, 5)));
        QCOMPARE(late.Recorded(), streamed);
        QCOMPARE(tcp.Recorded(0), streamed);  // not sent again
        QCOMPARE(w.StatusLine->Text(), QStringLiteral("1 of 2 scales accepted the database; 1 failed: ") + inUse);
        QVERIFY(w.ScalesPanel->SaveReport(env->folder.File("report.json")));
        QVERIFY(ReadAll(env->folder.File("report.json")).contains("\"name\": \"Back room\""));
        w.FormClose();
    }

    // Two scales behind converters cut the link in the middle of record 2 and
    // greet the next connection with a stray answer: each gets the record
    // again whole, after a line end, and nothing else.
    void cutLinkResendsTheRecordWhole()
    {
        ScaleSim tcp("tcp", {"--count", "2", "--cut-after", "21", "--keep-line", "--greet", "Mr"});
        QVERIFY(tcp.Started());
        TForm1 w;
        w.LoadDatabase(Database());
        const QString listPath = env->folder.File("cut.txt");
        WriteAll(listPath, QStringLiteral("tcp://127.0.0.1:%1\ntcp://127.0.0.1:%2\n").arg(tcp.Port(0)).arg(tcp.Port(1)).toLatin1());
        w.OpenScales(listPath);
        w.ScalesPanel->btnSendAll->click();
        QTRY_COMPARE_WITH_TIMEOUT(w.ScalesPanel->Model->RunningCount(), 0, 20000);
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(State(w, i).startsWith("accepted in "), qPrintable(State(w, i)));
            QCOMPARE(tcp.Recorded(i), QByteArray("SbP\r\nSr1;Salt\r\nSr2;Pe\r\nSr2;Pepper\r\nSe\r\n"));
        }
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
        // Open list… loads what it can and keeps the rest for Save list…
        const QByteArray bad = "tcp://192.168.1.14:4001\ntcp://192.168.1.14 Deli\n";
        WriteAll(env->folder.File("bad.txt"), bad);
        TForm1 w;
        QVERIFY(w.ScalesPanel->OpenList(env->folder.File("bad.txt")));
        QCOMPARE(w.ScalesPanel->Model->rowCount(), 1);
        QCOMPARE(w.ScalesPanel->ListNote->text(),
                 QStringLiteral("1 line of bad.txt could not be read and is kept as it is: line 2: bad link tcp://192.168.1.14 Deli"));
        QVERIFY(w.ScalesPanel->SaveList(env->folder.File("copy.txt")));
        QCOMPARE(ReadAll(env->folder.File("copy.txt")), bad);
        QCOMPARE(env->boxes.Count(), 0);
        w.FormClose();
    }

    // A line that cannot be read is told, kept in its place and written back
    // as it was; the scales around it load.
    void unreadableLinesAreKept_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("told");
        QTest::newRow("typo") << QByteArray("tcp://192.168.1.14 Deli") << QStringLiteral("bad link tcp://192.168.1.14 Deli");
        QTest::newRow("IPv6") << QByteArray("tcp://[::1]:4001 Lab") << QStringLiteral("bad link tcp://[::1]:4001 Lab");
        QTest::newRow("binary") << QByteArray("\x01\x80zz\rx\x7f\xc3\xb3\xe2\x80\xae!")
                                << QStringLiteral("bad link <01><80>zz<0D>x<7F>\u00f3<E2><80><AE>!");
        QTest::newRow("10 MB") << "tcp://192.168.1.16:4001 " + QByteArray(10 << 20, 'n')
                               << "bad link tcp://192.168.1.16:4001 " + QString(36, 'n') + QChar(0x2026)
                                      + " (a line of 10485784 bytes; a line holds at most 4096)";
    }
    void unreadableLinesAreKept()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, told);
        const QByteArray head = "# the shop\ntcp://192.168.1.14:4001   Deli  # by the door\n" + line + "\n";
        WriteAll(env->folder.File("scales.txt"), head + "udp://192.168.1.15:4001\n# end");
        TForm1 w;
        QCOMPARE(w.ScalesPanel->Model->rowCount(), 2);
        const QString note = QStringLiteral("1 line of scales.txt could not be read and is kept as it is: line 3: ") + told;
        QCOMPARE(w.ScalesPanel->ListNote->text(), note);
        QCOMPARE(w.StatusLine->Text(), note);
        QTimer::singleShot(0, &w, [] {
            auto* dialog = qobject_cast<TScaleDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->EditLink->setText(QStringLiteral("tcp://192.168.1.17:4001"));
            dialog->accept();
        });
        w.ScalesPanel->btnAddClick();
        w.ScalesPanel->ScalesView->selectRow(1);  // the scale below the unreadable line
        w.ScalesPanel->btnRemoveClick();
        w.FormClose();
        QCOMPARE(ReadAll(env->folder.File("scales.txt")), head + "tcp://192.168.1.17:4001\n# end\n");
        QCOMPARE(env->boxes.Count(), 0);
    }

    // Each scale's outcome is told as it comes, while the others still run;
    // a screen reader hears it at once.
    void eachOutcomeIsToldAsItComes()
    {
        ScaleSim quick("tcp");
        ScaleSim silent("tcp", {"--silent-after", "1"});
        QVERIFY(quick.Started() && silent.Started());
        TForm1 w;
        w.show();
        w.LoadDatabase(Database());
        TScaleListEntry deli, bakery;
        QVERIFY(ParseLink(QStringLiteral("tcp://127.0.0.1:%1").arg(quick.Port()), deli.Target));
        QVERIFY(ParseLink(QStringLiteral("tcp://127.0.0.1:%1").arg(silent.Port()), bakery.Target));
        deli.Target.Name = QStringLiteral("Deli");
        w.ScalesPanel->Model->SetList({{deli, bakery}, {}, 0, {}});
        w.ScalesPanel->btnSendAll->click();
        QTRY_VERIFY(w.StatusLine->Text().startsWith(QStringLiteral("Deli: accepted in ")));
        QCOMPARE(QAccessible::queryAccessibleInterface(w.StatusLine)->text(QAccessible::Name), w.StatusLine->Text());
        QCOMPARE(w.ScalesPanel->Model->RunningCount(), 1);
        w.ScalesPanel->btnSendAll->click();  // Stop all
        QCOMPARE(w.StatusLine->Text(), QStringLiteral("1 of 2 scales accepted the database; 1 interrupted"));
        w.FormClose();
    }

    // Beside the communication log the panel has half the room: every column
    // stays in view, a cut text shows whole in its tooltip and to a screen reader.
    void columnsStayInViewBesideTheLog()
    {
        TForm1 w;
        TScaleListEntry e;
        QVERIFY(ParseLink(QStringLiteral("tcp://192.168.1.14:4001"), e.Target));
        e.Target.Name = QStringLiteral("Deli counter by the door, second from the left");
        w.ScalesPanel->Model->SetList({{e}, {}, 0, {}});
        w.CommLogPanel->show();
        w.ScalesPanel->show();
        w.resize(800, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTableView* view = w.ScalesPanel->ScalesView;
        QTRY_VERIFY(w.CommLogPanel->geometry().right() < w.ScalesPanel->geometry().left());
        QVERIFY(view->viewport()->width() < 500);
        QVERIFY(w.ScalesPanel->geometry().right() < w.width());
        for (const QPushButton* b : w.ScalesPanel->findChildren<QPushButton*>())
            QVERIFY2(b->width() >= b->sizeHint().width() && b->geometry().right() < b->parentWidget()->width(),
                     qPrintable(b->objectName()));
        QHeaderView* header = view->horizontalHeader();
        for (int c = 0; c < TScalesModel::scCount; ++c) {
            QVERIFY2(header->sectionSize(c) > 0, qPrintable(QString::number(c)));
            QVERIFY2(header->sectionViewportPosition(c) + header->sectionSize(c) <= view->viewport()->width(),
                     qPrintable(QString::number(c)));
        }
        const QModelIndex name = w.ScalesPanel->Model->index(0, TScalesModel::scName);
        QVERIFY(view->fontMetrics().horizontalAdvance(e.Target.Name) > header->sectionSize(TScalesModel::scName));
        QCOMPARE(name.data(Qt::ToolTipRole).toString(), e.Target.Name);
        QAccessibleInterface* cell = QAccessible::queryAccessibleInterface(view)->tableInterface()->cellAt(0, TScalesModel::scName);
        QCOMPARE(cell->text(QAccessible::Name), e.Target.Name);
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
        w.ScalesPanel->Model->SetList({{e}, {}, 0, {}});
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

    // A quit signal while a real box is up (the list cannot be saved at
    // close, its folder being a file) closes the box. Last: from the signal
    // on, the program quits for good.
    void quitSignalClosesTheBoxUp()
    {
        SetMessageBoxHook({});
        TForm1 w;
        w.show();
        OnQuitSignal([&w](int) { w.FormQuitSignal(); }, &w);
        WriteAll(env->folder.File("folder"), "a file, not a folder");
        QVERIFY(w.ScalesPanel->UseList(env->folder.File("folder/scales.txt")));
        WriteAll(env->folder.File("other.txt"), "tcp://127.0.0.1:4001\n");
        QVERIFY(w.ScalesPanel->OpenList(env->folder.File("other.txt")));  // changed: written at close
        QString shown;
        QTimer::singleShot(0, &w, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                shown = box->text();
            ::raise(SIGTERM);
        });
        QVERIFY(w.close());  // returns: the signal closed the box
        QCOMPARE(shown, QStringLiteral("The list of scales could not be saved to ") + env->folder.File("folder/scales.txt"));
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(Quitting());
        QCOMPARE(MessageBox(QStringLiteral("not shown"), QString(), MB_YESNO), IDYES);  // nothing waits now
    }
};

QTEST_MAIN(ScalesPanelTest)
#include "scalespanel_test.moc"
