// The exchange on its own: replies in, commands out, against an in-memory table.
#include "ProcessData.h"
#include "StatusText.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(TStatusState)

namespace {
// A running upload of 120 records at record 37, over a link that is up.
TStatusState At37(std::int64_t msSinceSent = 300, int sends = 1)
{
    TStatusState s;
    s.Started = s.Running = true;
    s.Index = 37;
    s.Rows = 120;
    s.Awaiting = true;
    s.SendsInARow = sends;
    s.MsSinceSent = msSinceSent;
    s.LastReply = "Mx";
    s.Link = QStringLiteral("COM1");
    s.LinkUp = s.LinkWasUp = true;
    return s;
}

TStatusState With(TStatusState s, const std::function<void(TStatusState&)>& change)
{
    change(s);
    return s;
}
}

class ProcessDataTest : public QObject {
    Q_OBJECT

    struct Harness {
        QList<QByteArray> rows;
        QList<QByteArray> sent;
        QList<int> progress;
        QList<bool> finished;
        int position = 0;
        TUpload upload{{
            [this](const QByteArray& c) { sent << c; },
            [this] { return int(rows.size()); },
            [this](int r) { return rows.value(r); },
            [this] { return position; },
            [this](int p) { progress << p; },
            [this](bool failed) { finished << failed; },
            nullptr,
            [this] { sent << QByteArray(); },  // the line end on a link brought back
        }};

        // Feeds a reply; runs the tick it armed, as the 100 ms timer would.
        void ReplyAndTick(const QByteArray& text)
        {
            upload.ProcessReply(text, text.size());
            if (upload.TimerBaza.isActive())
                upload.TimerBazaTimer();
        }
    };

private slots:
    void trimReply_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("CR LF") << QByteArray("Mr\r\n") << QByteArray("Mr");
        QTest::newRow("blanks, tabs, NUL around") << QByteArray("\0 \tMr \t\r\n", 9) << QByteArray("Mr");
        QTest::newRow("inner blank kept") << QByteArray(" M r\n") << QByteArray("M r");
        QTest::newRow("high bytes kept") << QByteArray("\xA0Mr\xFF\n") << QByteArray("\xA0Mr\xFF");
        QTest::newRow("only control bytes") << QByteArray("\r\n\t ") << QByteArray();
    }
    void trimReply()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QCOMPARE(TrimReply(in), out);
    }

    void progressRounding()
    {
        QList<int> eight;
        for (int k = 1; k <= 8; ++k)
            eight << ProgressPercent(k, 8);
        QCOMPARE(eight, (QList<int>{12, 25, 38, 50, 62, 75, 88, 100}));
        QCOMPARE(ProgressPercent(-1, 5), 0);
        QCOMPARE(ProgressPercent(1, 3), 33);
        QCOMPARE(ProgressPercent(2, 3), 67);
        QCOMPARE(ProgressPercent(2000000, 2000000), 100);
    }

    void fullExchange()
    {
        Harness h;
        h.rows = {"1;Salt", "2;Pepper"};
        h.upload.Start(0);
        QCOMPARE(h.sent, QList<QByteArray>{"SbP"});
        h.ReplyAndTick("MbP\n");
        h.ReplyAndTick("Mr\n");
        h.ReplyAndTick("Mr\n");
        h.ReplyAndTick("Me\n");
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "Sr1;Salt", "Sr2;Pepper", "Se"}));
        QCOMPARE(h.progress, (QList<int>{50, 100}));
        QCOMPARE(h.finished, QList<bool>{false});
        QVERIFY(!h.upload.Running());
    }

    void startCommandFollowsKind_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("product or label") << 0 << QByteArray("SbP") << QByteArray("MbP");
        QTest::newRow("user") << 1 << QByteArray("SbU") << QByteArray("MbU");
        QTest::newRow("status") << 2 << QByteArray("SbS") << QByteArray("MbS");
    }
    void startCommandFollowsKind()
    {
        QFETCH(int, position);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        Harness h;
        h.rows = {"x"};
        h.position = position;
        h.upload.Start(position);
        QCOMPARE(h.sent.first(), command);
        h.ReplyAndTick(reply + "\r\n");
        QCOMPARE(h.sent.last(), QByteArray("Srx"));
    }

    void kindChangedWhileStartReplyAwaited()
    {
        Harness h;
        h.rows = {"x"};
        h.upload.Start(0);
        h.position = 1;  // the user picks "user database" before the scale answers
        h.ReplyAndTick("MbP\n");
        QCOMPARE(h.sent.size(), 1);
        h.ReplyAndTick("MbU\n");  // answered both ways: the start command goes again, as it first went out
        QCOMPARE(h.sent.last(), QByteArray("SbP"));
        h.ReplyAndTick("MbU\n");
        QCOMPARE(h.sent.last(), QByteArray("Srx"));
    }

    void rejectedRepliesResendTheRecord_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("lower case") << QByteArray("mr\r\n");
        QTest::newRow("further letters") << QByteArray("Mrx\r\n");
        QTest::newRow("wrong reply") << QByteArray("Mx\r\n");
        QTest::newRow("empty line") << QByteArray("\r\n");
        QTest::newRow("line past the bound") << QByteArray(TUpload::ReplyBound + 1, 'x') + "\n";
        QTest::newRow("blanks past the bound, then Mr") << QByteArray(TUpload::ReplyBound, ' ') + "Mr\r\n";
    }
    void rejectedRepliesResendTheRecord()
    {
        QFETCH(QByteArray, reply);
        Harness h;
        h.rows = {"a", "b"};
        h.upload.Start(0);
        h.ReplyAndTick("MbP\n");
        h.ReplyAndTick(reply);
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "Sra", "Sra"}));
        QCOMPARE(h.upload.UploadIndex, 1);
        h.ReplyAndTick(" \tMr \r\n");  // padded but right
        QCOMPARE(h.sent.last(), QByteArray("Srb"));
    }

    void wrongStartOrEndReplyWaits()
    {
        Harness h;
        h.rows = {"a"};
        h.upload.Start(0);
        h.ReplyAndTick("MbU\n");
        h.ReplyAndTick("MbS\n");
        QCOMPARE(h.sent.size(), 1);
        QCOMPARE(h.upload.WrongRepliesInARow(), 2);
        h.upload.Start(0);
        QCOMPARE(h.upload.WrongRepliesInARow(), 0);  // a new command
        h.ReplyAndTick("MbP\n");
        h.ReplyAndTick("Mr\n");
        h.ReplyAndTick("Mr\n");  // a stray answer while "Se" awaits its own
        h.ReplyAndTick("Mx\n");
        QCOMPARE(h.upload.WrongRepliesInARow(), 2);
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "SbP", "Sra", "Se"}));
        QVERIFY(h.finished.isEmpty());
        h.ReplyAndTick("Me\n");  // after the wrong ones: "Se" goes again
        QCOMPARE(h.sent.last(), QByteArray("Se"));
        h.ReplyAndTick("Me\n");
        QCOMPARE(h.finished, QList<bool>{false});
    }

    void replyInPieces()
    {
        Harness h;
        h.rows = {"a", "b"};
        h.upload.Start(0);
        h.ReplyAndTick("MbP\n");
        h.ReplyAndTick("M");
        QCOMPARE(h.sent.size(), 2);
        QCOMPARE(h.upload.ReplyBuffer, QByteArray("M"));
        h.ReplyAndTick("r\r\n");
        QCOMPARE(h.sent.last(), QByteArray("Srb"));
        QVERIFY(h.upload.ReplyBuffer.isEmpty());
    }

    void twoRepliesInOnePieceSkipNothing()
    {
        Harness h;
        h.rows = {"a", "b", "c"};
        h.upload.Start(0);
        h.ReplyAndTick("MbP\n");
        h.ReplyAndTick("Mr\r\nMr\r\n");  // the scale answered record 1 twice
        QCOMPARE(h.upload.UploadIndex, 2);
        QCOMPARE(h.sent.last(), QByteArray("Srb"));
        h.ReplyAndTick("Mr\r\nM");         // the rest of the next line waits
        QCOMPARE(h.sent.last(), QByteArray("Src"));
        h.ReplyAndTick("r\r\n");
        h.ReplyAndTick("Me\n");
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "Sra", "Srb", "Src", "Se"}));
        QCOMPARE(h.finished, QList<bool>{false});
    }

    void startEmptiesTheBuffer()
    {
        Harness h;
        h.rows = {"a"};
        h.upload.ProcessReply("garbage without line end", 24);
        h.upload.Start(0);
        h.ReplyAndTick("MbP\n");
        QCOMPARE(h.sent.last(), QByteArray("Sra"));
    }

    // After a loss: the scale's half line is ended, nothing that arrives
    // before the resend counts (a stray "Mr" must not pass for the cut
    // record's answer), the awaited command goes again as it went, and the
    // first answer on the new link decides whether the scale lost the upload.
    void resumeAfterALoss_data()
    {
        QTest::addColumn<QByteArray>("beforeLoss");   // on the old link, once "Sra" went out
        QTest::addColumn<QByteArray>("beforeResend"); // on the new link, before the gap ends
        QTest::addColumn<QByteArray>("answers");      // to the commands sent on the new link
        QTest::addColumn<QList<QByteArray>>("sent");
        QTest::addColumn<bool>("startedOver");
        const QList<QByteArray> keeps{"SbP", "Sra", "", "Sra", "Srb", "Se"};
        QTest::newRow("half a reply left") << QByteArray("M") << QByteArray() << QByteArray("Mr\nMr\nMe\n")
                                           << keeps << false;
        QTest::newRow("stray answer first") << QByteArray() << QByteArray("Mr\n")
                                            << QByteArray("Mr\nMr\nMe\n") << keeps << false;
        QTest::newRow("the scale forgot, awaited") << QByteArray() << QByteArray("Mx\n")
            << QByteArray("Mx\nMbP\nMr\nMr\nMe\n")
            << QList<QByteArray>{"SbP", "Sra", "", "Sra", "SbP", "Sra", "Srb", "Se"} << true;
        QTest::newRow("the scale forgot, answered") << QByteArray("Mr\n") << QByteArray()
            << QByteArray("Mx\nMbP\nMr\nMr\nMe\n")
            << QList<QByteArray>{"SbP", "Sra", "", "Srb", "SbP", "Sra", "Srb", "Se"} << true;
    }
    void resumeAfterALoss()
    {
        QFETCH(QByteArray, beforeLoss);
        QFETCH(QByteArray, beforeResend);
        QFETCH(QByteArray, answers);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(bool, startedOver);
        Harness h;
        h.rows = {"a", "b"};
        h.upload.Start(0);
        h.ReplyAndTick("MbP\n");
        h.upload.ProcessReply(beforeLoss, beforeLoss.size());
        h.upload.Hold();
        h.upload.ProcessReply("Mr\n", 3);  // the old link's last words
        h.upload.Resume();
        h.upload.ProcessReply(beforeResend, beforeResend.size());
        h.upload.TimerBazaTimer();
        for (const QByteArray& line : answers.split('\n'))
            if (!line.isEmpty())
                h.ReplyAndTick(line + '\n');
        QCOMPARE(h.sent, sent);
        QCOMPARE(h.upload.StartedOver(), startedOver);
        QCOMPARE(h.finished, QList<bool>{false});
        QCOMPARE(h.upload.IgnoredLines(), 1 + beforeResend.count('\n'));
    }

    void emptyRecordEndsInFailure()
    {
        Harness h;
        h.rows = {""};
        h.upload.Start(0);
        h.ReplyAndTick("MbP\n");
        QCOMPARE(h.sent.last(), QByteArray("Se"));
        QCOMPARE(h.progress, QList<int>{0});
        h.ReplyAndTick("Me\n");
        QCOMPARE(h.finished, QList<bool>{true});
    }

    void stopEndsTheExchange()
    {
        Harness h;
        h.rows = {"a", "b"};
        h.upload.Start(0);
        h.ReplyAndTick("MbP\n");
        h.upload.Stop();
        h.ReplyAndTick("Mr\n");
        h.ReplyAndTick("Mr\n");
        h.ReplyAndTick("Me\n");
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "Sra"}));
        QVERIFY(h.finished.isEmpty());
        QVERIFY(!h.upload.TimerBaza.isActive());
    }

    // The wait runs on two clocks, whichever ends first; Stop must disarm both,
    // or a stopped upload sends its next command 100 ms later.
    void stopDisarmsTheWait()
    {
        Harness h;
        h.rows = {"a", "b"};
        h.upload.Start(0);
        h.upload.ProcessReply("MbP\n", 4);
        QTRY_COMPARE(h.sent.size(), 2);  // the wait ended by itself and "Sra" went out
        h.upload.ProcessReply("Mr\n", 3);
        h.upload.Stop();
        QSignalSpy over(&h.upload, &TUpload::GapOver);
        QVERIFY(!over.wait(3 * TUpload::GapMs));
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "Sra"}));
    }

    void lateReplyAfterTheEndShowsNothing()
    {
        Harness h;
        h.rows = {"a"};
        h.upload.Start(0);
        for (const char* r : {"MbP\n", "Mr\n", "Me\n", "Me\n", "Mr\n"})
            h.ReplyAndTick(r);
        QCOMPARE(h.finished.size(), 1);
    }

    // Between one command and the next the scale answered it both ways: the
    // same command goes again, never the next one, and the run still ends whole.
    void disagreeingRepliesResend_data()
    {
        QTest::addColumn<QByteArrayList>("before");  // answers that bring the exchange there
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QByteArray>("resent");
        QTest::newRow("start, right then wrong") << QByteArrayList{} << QByteArray("MbP\r\nMx\r\n") << QByteArray("SbP");
        QTest::newRow("start, wrong then right") << QByteArrayList{} << QByteArray("MbU\r\nMbP\r\n") << QByteArray("SbP");
        QTest::newRow("late duplicate Mr, then Mx") << QByteArrayList{"MbP\n", "Mr\n"} << QByteArray("Mr\r\nMx\r\n") << QByteArray("Srb");
        QTest::newRow("Mx, then late duplicate Mr") << QByteArrayList{"MbP\n", "Mr\n"} << QByteArray("Mx\r\nMr\r\n") << QByteArray("Srb");
        QTest::newRow("line past the bound, then Mr") << QByteArrayList{"MbP\n", "Mr\n"}
            << QByteArray(TUpload::ReplyBound + 1, '0') + "\nMr\r\n" << QByteArray("Srb");
        QTest::newRow("end, right then wrong") << QByteArrayList{"MbP\n", "Mr\n", "Mr\n"} << QByteArray("Me\r\nMr\r\n") << QByteArray("Se");
    }
    void disagreeingRepliesResend()
    {
        QFETCH(QByteArrayList, before);
        QFETCH(QByteArray, replies);
        QFETCH(QByteArray, resent);
        Harness h;
        h.rows = {"a", "b"};
        h.upload.Start(0);
        for (const QByteArray& r : before)
            h.ReplyAndTick(r);
        const qsizetype sent = h.sent.size();
        h.upload.ProcessReply(replies, replies.size());
        QVERIFY(h.upload.TimerBaza.isActive());
        h.upload.TimerBazaTimer();
        QCOMPARE(h.sent.size(), sent + 1);
        QCOMPARE(h.sent.last(), resent);
        QCOMPARE(h.upload.SendsInARow(), 2);
        for (int i = 0; i < 5 && h.finished.isEmpty(); ++i)
            h.ReplyAndTick(h.sent.last() == "SbP" ? "MbP\n" : h.sent.last() == "Se" ? "Me\n" : "Mr\n");
        h.sent.removeAt(sent);
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "Sra", "Srb", "Se"}));
        QCOMPARE(h.finished, QList<bool>{false});
    }

    // A device that never ends a line: what waits stays under the bound, idle
    // or not, and the LF that comes at last is one wrong reply.
    void streamWithoutLineEndStaysBounded()
    {
        Harness h;
        h.rows = {"a", "b"};
        const QByteArray chunk(4096, '0');
        for (int i = 0; i < 32; ++i)
            h.upload.ProcessReply(chunk, chunk.size());
        QVERIFY(h.upload.ReplyBuffer.size() <= TUpload::ReplyBound);
        h.upload.Start(0);
        QVERIFY(!h.upload.LineOverflow());
        h.ReplyAndTick("MbP\n");
        for (int i = 0; i < 256; ++i)
            h.ReplyAndTick(chunk);
        QVERIFY(h.upload.ReplyBuffer.size() <= TUpload::ReplyBound);
        QVERIFY(h.upload.LineOverflow());
        QCOMPARE(h.upload.DiscardedBytes(), std::int64_t(256 * 4096));
        QCOMPARE(h.sent.size(), 2);
        h.ReplyAndTick("Mr\r\n");
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "Sra", "Sra"}));
        QVERIFY(!h.upload.LineOverflow());
        h.ReplyAndTick("Mr\r\n");
        QCOMPARE(h.sent.last(), QByteArray("Srb"));
    }

    void statusText_data()
    {
        QTest::addColumn<TStatusState>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing yet") << TStatusState{} << "";
        QTest::newRow("start command") << With(At37(), [](auto& s) { s.Index = 0; }) << "Sending the start command";
        QTest::newRow("record") << At37() << "Sending record 37 of 120";
        QTest::newRow("between reply and tick") << With(At37(), [](auto& s) { s.Awaiting = false; })
                                                << "Sending record 37 of 120";
        QTest::newRow("end command") << With(At37(), [](auto& s) { s.Index = -1; }) << "Sending the end command";
        QTest::newRow("silent for 12 s") << At37(12400) << "Waiting 12 s for the scale's answer to record 37";
        QTest::newRow("start command unanswered") << With(At37(5000), [](auto& s) { s.Index = 0; })
                                                  << "Waiting 5 s for the scale's answer to the start command";
        QTest::newRow("answered wrongly twice") << At37(300, 3)
                                                << "The scale answered \"Mx\" to record 37: sending it again (3rd time)";
        QTest::newRow("answered wrongly ten times") << At37(300, 11)
                                                    << "The scale answered \"Mx\" to record 37: sending it again (11th time)";
        QTest::newRow("device without line ends") << With(At37(12400), [](auto& s) { s.LineOverflow = true; })
            << "Waiting for the scale's answer to record 37: the device sends text without line ends (a scale in continuous output mode, or the wrong port?)";
        QTest::newRow("start command answered wrongly") << With(At37(40000), [](auto& s) {
            s.Index = 0;
            s.WrongReplies = 1;
            s.LastReply = "MbU";
        }) << "The scale answered \"MbU\" to the start command: it expects another database kind; press Stop";
        QTest::newRow("end command answered wrongly") << With(At37(40000), [](auto& s) { s.Index = -1; s.WrongReplies = 2; })
                                                      << "The scale answered \"Mx\" to the end command; press Stop";
        QTest::newRow("resent, then silent") << At37(3000, 2) << "Waiting 3 s for the scale's answer to record 37";
        QTest::newRow("tcp connection dropped") << With(At37(), [](auto& s) {
            s.LinkUp = false;
            s.Cause = QStringLiteral("connection lost");
        }) << "Connection lost at record 37 of 120: press Connect to go on, or Stop";
        QTest::newRow("serial device gone") << With(At37(), [](auto& s) {
            s.LinkUp = false;
            s.Cause = QStringLiteral("serial device disappeared");
        }) << "Connection lost at record 37 of 120: press Connect to go on, or Stop (serial device disappeared)";
        QTest::newRow("never connected") << With(At37(), [](auto& s) { s.Index = 0; s.LinkUp = s.LinkWasUp = false; })
                                         << "No connection to the scale: press Stop";
        QTest::newRow("sent") << With(At37(), [](auto& s) { s.Running = false; s.Index = -2; s.ElapsedMs = 14240; })
                              << "Database was sent to scale in 14.2 s";
        QTest::newRow("empty record") << With(At37(), [](auto& s) {
            s.Running = false;
            s.Index = -2;
            s.Failed = true;
            s.ElapsedMs = 800;
        }) << "Database could not be sent to scale: an empty record ended it after 0.8 s";
        QTest::newRow("stopped") << With(At37(), [](auto& s) { s.Running = false; s.Stopped = true; s.ElapsedMs = 5000; })
                                 << "Stopped at record 37 of 120 after 5.0 s";
        QTest::newRow("link failed while idle") << With(TStatusState{}, [](auto& s) {
            s.Link = QStringLiteral("127.0.0.1");
            s.Cause = QStringLiteral("connection refused");
        }) << "127.0.0.1: connection refused";
        QTest::newRow("link failure outranks the last outcome") << With(At37(), [](auto& s) {
            s.Running = false;
            s.Index = -2;
            s.LinkUp = false;
            s.Cause = QStringLiteral("serial device disappeared");
        }) << "COM1: serial device disappeared";
    }
    void statusText()
    {
        QFETCH(TStatusState, state);
        QFETCH(QString, text);
        QCOMPARE(StatusText(state), text);
    }

    void resendsAreCountedForTheStatusLine()
    {
        Harness h;
        h.rows = {"a", "b"};
        h.upload.Start(0);
        QCOMPARE(h.upload.SendsInARow(), 1);
        h.ReplyAndTick("MbP\n");
        h.ReplyAndTick("Mx\n");
        h.ReplyAndTick("Mx\n");
        QCOMPARE(h.sent, (QList<QByteArray>{"SbP", "Sra", "Sra", "Sra"}));
        QCOMPARE(h.upload.SendsInARow(), 3);
        QCOMPARE(h.upload.LastReply, QByteArray("Mx"));
        h.ReplyAndTick("Mr\n");
        QCOMPARE(h.upload.SendsInARow(), 1);  // record 2 goes out for the first time
        QVERIFY(h.upload.Awaiting());
    }

    void newTableDuringUpload()
    {
        Harness h;
        h.rows = {"a", "b"};
        h.upload.Start(0);
        h.ReplyAndTick("MbP\n");
        h.rows = {"x", "y", "z"};
        h.ReplyAndTick("Mr\n");
        QCOMPARE(h.sent.last(), QByteArray("Sry"));
    }
};

QTEST_GUILESS_MAIN(ProcessDataTest)
#include "processdata_test.moc"
