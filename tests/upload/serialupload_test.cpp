// Uploads from the real main window over a pseudo-terminal, to the scale
// simulator or to a scale played by the test itself.
#include "CheckFormAnswer.h"
#include "LogEntries.h"
#include "Global.h"
#include "RadioGroup.h"
#include "StatusLine.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "okno.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <limits>
#include <memory>

#include <unistd.h>

class SerialUploadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;

    // A window connected to `device`, with `database` loaded unless it is null.
    std::unique_ptr<TForm1> OpenWindow(const QString& device, const char* database)
    {
        auto w = std::make_unique<TForm1>();
        if (database) {
            const QString path = env->folder.File("db.csv");
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly))
                return nullptr;
            f.write(database);
            f.close();
            w->LoadDatabase(path);
        }
        w->ComPort1.SetPort(device);
        w->btnOpenPort->click();
        return w;
    }

    bool WaitBoxes(int count, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return env->boxes.Count() >= count; }, timeoutMs);
    }

    // What reaches the pty's other end while the window runs for ms: a
    // command sent when none should go would be in it.
    static QByteArray SentWithin(PtyPair& pty, int ms)
    {
        return pty.ReadExactly(std::numeric_limits<int>::max(), ms);
    }

private slots:
    void init() { env = std::make_unique<WindowTestEnv>(); }
    void cleanup() { env.reset(); }

    void twoByTwoReachesTheScaleByteForByte()
    {
        ScaleSim sim("serial");
        QVERIFY(sim.Started());
        auto w = OpenWindow(sim.Device(), "1;Salt\n2;Pepper\n");
        QVERIFY(w->ComPort1.Connected());
        QSignalSpy progress(w->ProgressBar1, &QProgressBar::valueChanged);
        w->bbWyslijBaze->click();
        QCOMPARE(w->bbWyslijBaze->text(), QStringLiteral("Stop"));
        QVERIFY(!w->btnOpenPort->isEnabled());
        QVERIFY(WaitBoxes(1));
        QCOMPARE(sim.Recorded(), QByteArray("SbP\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n"));
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Database was sent to scale."));
        QCOMPARE(env->boxes.Boxes()[0].caption, QStringLiteral("Success"));
        QCOMPARE(env->boxes.Boxes()[0].flags, 64);
        QCOMPARE(w->bbWyslijBaze->text(), QStringLiteral("Send database"));
        QVERIFY(w->btnOpenPort->isEnabled());
        QCOMPARE(w->ProgressBar1->value(), 100);
        QVERIFY(progress.size() >= 2);
        w->FormClose();
    }

    void eightRowsProgress()
    {
        ScaleSim sim("serial");
        QVERIFY(sim.Started());
        auto w = OpenWindow(sim.Device(), "1\n2\n3\n4\n5\n6\n7\n8\n");
        QList<int> seen;
        connect(w->ProgressBar1, &QProgressBar::valueChanged, this, [&](int v) { seen << v; });
        w->bbWyslijBaze->click();
        QVERIFY(WaitBoxes(1));
        QCOMPARE(seen, (QList<int>{12, 25, 38, 50, 62, 75, 88, 100}));
        w->FormClose();
    }

    void emptyGridSendsFiveRecordsOfSeparators()
    {
        ScaleSim sim("serial");
        QVERIFY(sim.Started());
        auto w = OpenWindow(sim.Device(), nullptr);
        {
            CheckFormAnswer cancel("btnCancel");  // no file opened: the check says so first
            w->bbWyslijBaze->click();
            QCOMPARE(cancel.Shown, 1);
            QVERIFY(cancel.Listed.contains(
                "no database opened: the grid's 5 empty rows would go to the scale as 5 empty records"));
        }
        QCOMPARE(w->WyslijBazeTag, 0);
        CheckFormAnswer anyway("btnSendAnyway");
        w->bbWyslijBaze->click();
        QVERIFY(WaitBoxes(1));
        // The cancelled press sent nothing: the recording is this upload alone.
        QCOMPARE(sim.Recorded(), QByteArray("SbP\r\n") + QByteArray("Sr;;;;\r\n").repeated(5) + "Se\r\n");
        QCOMPARE(env->boxes.Boxes()[0].caption, QStringLiteral("Success"));
        w->FormClose();
    }

    void oneEmptyCellFails()
    {
        ScaleSim sim("serial");
        QVERIFY(sim.Started());
        auto w = OpenWindow(sim.Device(), "\n\n");
        CheckFormAnswer answer("btnSendAnyway");  // the empty record is a finding
        w->bbWyslijBaze->click();
        QVERIFY(WaitBoxes(1));
        QCOMPARE(sim.Recorded(), QByteArray("SbP\r\nSe\r\n"));
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Database could not be sent to scale."));
        QCOMPARE(env->boxes.Boxes()[0].caption, QStringLiteral("Failure"));
        QCOMPARE(env->boxes.Boxes()[0].flags, 64);
        w->FormClose();
    }

    // Cancel sends nothing and leaves the window as it was; "Send anyway"
    // then sends the file's own bytes. A clean file shows no dialog.
    void checkBeforeSending()
    {
        ScaleSim sim("serial");
        QVERIFY(sim.Started());
        auto w = OpenWindow(sim.Device(), "1;Salt\n2;Pepper\n");
        {
            CheckFormAnswer none("btnCancel");
            w->bbWyslijBaze->click();
            QCOMPARE(w->bbWyslijBaze->text(), QStringLiteral("Stop"));
            QVERIFY(WaitBoxes(1));
            QCOMPARE(none.Shown, 0);
        }
        QCOMPARE(sim.Recorded(), QByteArray("SbP\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n"));

        // Twelve rows of one field beside one of two: twelve findings.
        QByteArray database("0;Bread\n");
        for (int i = 1; i <= 12; ++i)
            database += QByteArray::number(i) + '\n';
        const QString path = env->folder.File("db.csv");
        WriteAll(path, database);
        w->LoadDatabase(path);
        {
            CheckFormAnswer cancel("btnCancel");
            w->bbWyslijBaze->click();
            QCOMPARE(cancel.Shown, 1);
            QVERIFY(cancel.Listed.contains("row 2: 1 field where the widest row has 2; it is sent padded with 1 empty field"));
            QVERIFY(cancel.Listed.contains("row 11: "));
            QVERIFY(!cancel.Listed.contains("row 12: "));
            QVERIFY(cancel.Listed.endsWith("and 2 more"));
        }
        QCOMPARE(w->bbWyslijBaze->text(), QStringLiteral("Send database"));
        QCOMPARE(w->WyslijBazeTag, 0);
        QVERIFY(w->btnOpenPort->isEnabled());
        QCOMPARE(w->ProgressBar1->value(), 100);  // the last upload's, untouched
        {
            CheckFormAnswer anyway("btnSendAnyway");
            w->bbWyslijBaze->click();
            QCOMPARE(anyway.Shown, 1);
            QCOMPARE(w->bbWyslijBaze->text(), QStringLiteral("Stop"));
            QVERIFY(WaitBoxes(2, 20000));
        }
        // The cancelled press sent nothing: the second upload follows the first directly.
        QByteArray second("SbP\r\nSr0;Bread\r\n");
        for (int i = 1; i <= 12; ++i)
            second += "Sr" + QByteArray::number(i) + ";\r\n";
        QCOMPARE(sim.Recorded(), QByteArray("SbP\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n") + second + "Se\r\n");
        QCOMPARE(env->boxes.Boxes()[1].text, QStringLiteral("Database was sent to scale."));
        w->FormClose();
    }

    void wrongAndSplitRepliesFromTheSimulator_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QList<QByteArray>>("events");
        QTest::newRow("record answered wrongly is sent again")
            << QStringList{"--wrong-at", "2"} << QByteArray("SbP\r\nSra\r\nSra\r\nSrb\r\nSe\r\n")
            << QByteArray("MbP\r\nMx\r\nMr\r\nMr\r\nMe\r\n")
            << QList<QByteArray>{"opened", "upload started: product database, 2 rows", "record 1 sent again (2nd time)",
                                 "upload accepted"};
        QTest::newRow("replies in two pieces")
            << QStringList{"--split"} << QByteArray("SbP\r\nSra\r\nSrb\r\nSe\r\n")
            << QByteArray("MbP\r\nMr\r\nMr\r\nMe\r\n")
            << QList<QByteArray>{"opened", "upload started: product database, 2 rows", "upload accepted"};
    }
    void wrongAndSplitRepliesFromTheSimulator()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArray, replies);
        QFETCH(QList<QByteArray>, events);
        ScaleSim sim("serial", options);
        QVERIFY(sim.Started());
        auto w = OpenWindow(sim.Device(), "a\nb\n");
        w->bbWyslijBaze->click();
        QVERIFY(WaitBoxes(1));
        QCOMPARE(sim.Recorded(), expected);
        QCOMPARE(env->boxes.Boxes()[0].caption, QStringLiteral("Success"));
        // The log holds each command as it went and each reply as it came:
        // the pieces as the device gave them, and the lines they made; the
        // link's events apart from the desktop's (the sleep lock).
        const TCommLog& log = w->CommLog;
        QCOMPARE(Logged(log, TCommLog::lkSent), Commands(expected, '\n'));
        QCOMPARE(Logged(log, TCommLog::lkReceived).join(), replies);
        QCOMPARE(Logged(log, TCommLog::lkReply), Commands(replies, '\n'));
        QCOMPARE(Logged(log, TCommLog::lkEvent, log.At(0).Link), events);
        QCOMPARE(log.LinkName(log.At(0).Link), QStringLiteral("serial:%1@9600").arg(sim.Device()));
        w->FormClose();
        QCOMPARE(Logged(log, TCommLog::lkEvent, log.At(0).Link), events << "closed");
    }

    void highBytesAndBlanksArriveUnchanged()
    {
        ScaleSim sim("serial");
        QVERIFY(sim.Started());
        QByteArray cell;
        for (int b = 0x80; b <= 0xFF; ++b)
            cell += char(b);
        auto w = OpenWindow(sim.Device(), "  7 ; \xA5\xB9\xEA wa\xBF" "ka ;" + cell + "\r\n");
        w->bbWyslijBaze->click();
        QVERIFY(WaitBoxes(1));
        QCOMPARE(sim.Recorded(), "SbP\r\nSr  7 ; \xA5\xB9\xEA wa\xBF" "ka ;" + cell + "\r\nSe\r\n");
        w->FormClose();
    }

    // The test plays the scale on the pseudo-terminal's other end.
    void repliesPlayedByTheTest()
    {
        PtyPair pty;
        auto w = OpenWindow(pty.SlavePath(), "a\nb\nc\n");
        QVERIFY(w->ComPort1.Connected());
        w->rgBaza->SetItemIndex(1);
        w->bbWyslijBaze->click();
        QCOMPARE(pty.ReadExactly(5), QByteArray("SbU\r\n"));
        w->rgBaza->SetItemIndex(0);               // kind changed while the start reply is awaited
        pty.Write(" MbU \r\n");
        QCOMPARE(SentWithin(pty, 400), QByteArray());  // nothing: MbP is awaited now
        pty.Write("\tMbP\r\n");                   // answered both ways: the start command goes again, as it went
        QCOMPARE(pty.ReadExactly(5), QByteArray("SbU\r\n"));
        pty.Write("MbP\r\n");
        QCOMPARE(pty.ReadExactly(5), QByteArray("Sra\r\n"));
        pty.Write("mr\r\n");                      // lower case is refused: the record goes again
        QCOMPARE(pty.ReadExactly(5), QByteArray("Sra\r\n"));
        pty.Write("Mr\r\nMr\r\n");                // two answers in one piece advance by one
        QCOMPARE(pty.ReadExactly(5), QByteArray("Srb\r\n"));
        QCOMPARE(SentWithin(pty, 300), QByteArray());
        pty.Write("M");
        pty.Write("r\r\n");
        QCOMPARE(pty.ReadExactly(5), QByteArray("Src\r\n"));
        w->bbWyslijBaze->click();                 // Stop
        QCOMPARE(w->bbWyslijBaze->text(), QStringLiteral("Send database"));
        QVERIFY(w->btnOpenPort->isEnabled());
        pty.Write("Mr\r\n");
        QCOMPARE(SentWithin(pty, 400), QByteArray());  // nothing more goes out
        pty.Write("Me\r\n");
        QTest::qWait(300);
        QCOMPARE(env->boxes.Count(), 0);
        w->FormClose();
    }

    // The test plays the scale; the status line tells each state as it comes.
    void statusLineTellsTheExchange()
    {
        PtyPair pty;
        auto w = OpenWindow(pty.SlavePath(), "a\nb\n");
        QVERIFY(w->ComPort1.Connected());
        w->StatusLine->WaitNoticeMs = std::numeric_limits<std::int64_t>::max();  // no "Waiting" however slow the machine
        w->bbWyslijBaze->click();
        QCOMPARE(w->StatusLine->Text(), QStringLiteral("Sending the start command"));
        QCOMPARE(pty.ReadExactly(5), QByteArray("SbP\r\n"));
        pty.Write("MbP\r\n");
        QCOMPARE(pty.ReadExactly(5), QByteArray("Sra\r\n"));
        QTRY_COMPARE(w->StatusLine->Text(), QStringLiteral("Sending record 1 of 2"));
        pty.Write("Mx\r\n");
        QCOMPARE(pty.ReadExactly(5), QByteArray("Sra\r\n"));
        pty.Write("Mx\r\n");
        QCOMPARE(pty.ReadExactly(5), QByteArray("Sra\r\n"));
        QTRY_COMPARE(w->StatusLine->Text(), QStringLiteral("The scale answered \"Mx\" to record 1: sending it again (3rd time)"));
        w->StatusLine->WaitNoticeMs = 0;
        const QRegularExpression waiting(QStringLiteral("^Waiting \\d+ s for the scale's answer to record 1$"));
        QTRY_VERIFY(waiting.match(w->StatusLine->Text()).hasMatch());
        pty.Write("Mr\r\n");
        QCOMPARE(pty.ReadExactly(5), QByteArray("Srb\r\n"));
        pty.Write("Mr\r\n");
        QCOMPARE(pty.ReadExactly(4), QByteArray("Se\r\n"));
        pty.Write("Me\r\n");
        QVERIFY(WaitBoxes(1));
        const QRegularExpression sent(QStringLiteral("^Database was sent to scale in \\d+\\.\\d s$"));
        QVERIFY2(sent.match(w->StatusLine->Text()).hasMatch(), qPrintable(w->StatusLine->Text()));
        w->FormClose();
    }

    // A device that hangs up mid-upload: the window closes its end, shows the
    // port disconnected with the cause, and Connect opens the device once it is back.
    void deviceHangingUpMidUpload()
    {
        auto pty = std::make_unique<PtyPair>();
        const QString device = env->folder.File("scale");  // a stable name, as a udev rule gives
        QVERIFY(QFile::link(pty->SlavePath(), device));
        auto w = OpenWindow(device, "a\nb\nc\n");
        QVERIFY(w->ComPort1.Connected());
        w->bbWyslijBaze->click();
        QCOMPARE(pty->ReadExactly(5), QByteArray("SbP\r\n"));
        pty->Write("MbP\r\n");
        QCOMPARE(pty->ReadExactly(5), QByteArray("Sra\r\n"));
        pty->CloseMaster();
        QTRY_VERIFY(!w->ComPort1.Connected());
        QCOMPARE(w->LinkState, 0);
        QCOMPARE(w->LabelConnection->text(), device + QStringLiteral(" 9600bps disconnected"));
        QCOMPARE(w->LabelConnection->toolTip(), QStringLiteral("serial device disappeared"));
        QCOMPARE(w->StatusLine->Text(),
                 QStringLiteral("Connection lost at record 1 of 3: press Connect to go on, or Stop (serial device disappeared)"));
        QVERIFY(w->btnOpenPort->isEnabled());
        QCOMPARE(w->bbWyslijBaze->text(), QStringLiteral("Stop"));  // the upload waits, as ever
        w->bbWyslijBaze->click();
        QCOMPARE(w->StatusLine->Text(), device + QStringLiteral(": serial device disappeared"));
        QCOMPARE(env->boxes.Count(), 0);

        PtyPair back;
        QVERIFY(QFile::remove(device));
        QVERIFY(QFile::link(back.SlavePath(), device));
        w->btnOpenPort->click();
        QVERIFY(w->ComPort1.Connected());
        QCOMPARE(w->LabelConnection->text(), device + QStringLiteral(" 9600bps connected"));
        QCOMPARE(w->LabelConnection->toolTip(), QString());
        w->FormClose();
    }

    // A device that stops taking data (flow control held, a stalled adapter):
    // the record that cannot go out in its time fails the link with the
    // cause, and the window stays responsive. A stray answer meanwhile asks
    // for the record again, which must never follow the cut one on the line:
    // once Connect opens the device again, a line end closes the cut record
    // and the record goes again whole.
    void deviceThatStopsTakingData()
    {
        PtyPair pty;
        const QByteArray command = "Sr" + QByteArray(200000, 'x') + "\r\n";
        auto w = OpenWindow(pty.SlavePath(), command.mid(2, 200000) + "\n");
        w->ComPort1.Timeouts().SetWriteTotalMultiplier(0);
        w->ComPort1.Timeouts().SetWriteTotalConstant(1000);
        w->bbWyslijBaze->click();
        QCOMPARE(pty.ReadExactly(5), QByteArray("SbP\r\n"));
        pty.Write("MbP\r\n");  // and from now on the test reads nothing
        QTRY_COMPARE(Logged(w->CommLog, TCommLog::lkSent).size(), 2);
        pty.Write("Mx\r\n");
        const QString cause = QStringLiteral("the device stopped taking data (flow control?)");
        QTRY_VERIFY(!w->ComPort1.Connected());
        QCOMPARE(w->LabelConnection->toolTip(), cause);
        // A cause with a bracket of its own is not put in another.
        QCOMPARE(w->StatusLine->Text(), QStringLiteral("Connection lost at record 1 of 1: press Connect to go on, or Stop: %1").arg(cause));
        const QList<QByteArray> events = Logged(w->CommLog, TCommLog::lkEvent);
        const QRegularExpression stopped(QStringLiteral("^stopped after [\\d,]+ of 200,004 bytes of Srx{14}\u2026: ")
                                         + QRegularExpression::escape(cause) + '$');
        const auto stop = std::find_if(events.begin(), events.end(),
                                       [&](const QByteArray& e) { return stopped.match(QString::fromUtf8(e)).hasMatch(); });
        QVERIFY2(stop != events.end(), events.join('|').constData());
        QCOMPARE(events.back(), "failed: " + cause.toUtf8());
        QVERIFY(command.startsWith(SentWithin(pty, 300)));
        w->btnOpenPortClick();
        QCOMPARE(pty.ReadExactly(int(command.size()) + 2, 10000), "\r\n" + command);
        pty.Write("Mr\r\n");
        QCOMPARE(pty.ReadExactly(4), QByteArray("Se\r\n"));
        pty.Write("Me\r\n");
        QVERIFY(WaitBoxes(1));
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Database was sent to scale."));
        w->FormClose();
    }
};

QTEST_MAIN(SerialUploadTest)
#include "serialupload_test.moc"
