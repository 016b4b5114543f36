// The communication log's ring and how it writes bytes as text.
#include "CommLog.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class CommLogTest : public QObject {
    Q_OBJECT

private slots:
    void bytesAsText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("decoding");
        QTest::addColumn<QString>("text");
        QTest::newRow("line end and zero") << QByteArray("SbP\r\n\0", 6) << int(TCommLog::ldUnknown) << "SbP<0D><0A><00>";
        QTest::newRow("tab and delete") << QByteArray("a\tb\x7F") << int(TCommLog::ldUtf8) << "a<09>b<7F>";
        QTest::newRow("high bytes, decoding unknown") << QByteArray("\xC4\x85\xB9") << int(TCommLog::ldUnknown) << "<C4><85><B9>";
        QTest::newRow("UTF-8") << QByteArray("\xC4\x85\xC4\x99 z\xC5\x82") << int(TCommLog::ldUtf8) << QString::fromUtf8("ąę zł");
        QTest::newRow("broken UTF-8 byte") << QByteArray("a\xB9" "b\xC4") << int(TCommLog::ldUtf8) << "a<B9>b<C4>";
        QTest::newRow("C1 control in UTF-8") << QByteArray("\xC2\x85") << int(TCommLog::ldUtf8) << "<C2><85>";
        QTest::newRow("Windows-1250") << QByteArray("\xB9\xEA\xA3") << int(TCommLog::ldWindows1250) << QString::fromUtf8("ąęŁ");
        QTest::newRow("unassigned in Windows-1250") << QByteArray("\x81\x98") << int(TCommLog::ldWindows1250) << "<81><98>";
    }
    void bytesAsText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, decoding);
        QFETCH(QString, text);
        QCOMPARE(CommLogText(bytes, static_cast<TCommLog::TDecoding>(decoding)), text);
    }

    void keepsTheLastHundredThousand()
    {
        TCommLog log;
        const int link = log.LinkId(QStringLiteral("tcp://127.0.0.1:5000"));
        for (int i = 0; i <= TCommLog::Capacity; ++i)
            log.Append(link, TCommLog::lkSent, QByteArray::number(i));
        log.Flush();
        QCOMPARE(log.Count(), TCommLog::Capacity);
        QCOMPARE(log.rowCount(), 100000);
        QCOMPARE(log.At(0).Bytes, QByteArray("1"));
        QCOMPARE(log.data(log.index(0, TCommLog::lcText)).toString(), QStringLiteral("1"));
        QCOMPARE(log.data(log.index(99999, TCommLog::lcText)).toString(), QStringLiteral("100000"));
        // The views hear of a removal at the top and an append at the end.
        int removed = 0, inserted = 0;
        connect(&log, &QAbstractItemModel::rowsRemoved, this, [&](const QModelIndex&, int first, int last) { removed += last - first + 1; });
        connect(&log, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex&, int first, int last) { inserted += last - first + 1; });
        log.Append(link, TCommLog::lkSent, "next");
        log.Flush();
        QCOMPARE(removed, 1);
        QCOMPARE(inserted, 1);
        QCOMPARE(log.data(log.index(0, TCommLog::lcText)).toString(), QStringLiteral("2"));
        QCOMPARE(log.data(log.index(99999, TCommLog::lcText)).toString(), QStringLiteral("next"));
    }

    void piecesThenTheLinesTheyComplete()
    {
        TCommLog log;
        log.Received(0, "M", "bP\r\nMr\r\nM");
        QCOMPARE(log.Count(), 3);
        QCOMPARE(log.At(0).Kind, TCommLog::lkReceived);
        QCOMPARE(log.At(0).Bytes, QByteArray("bP\r\nMr\r\nM"));
        QCOMPARE(log.At(1).Kind, TCommLog::lkReply);
        QCOMPARE(log.At(1).Bytes, QByteArray("MbP\r\n"));
        QCOMPARE(log.At(2).Bytes, QByteArray("Mr\r\n"));
    }

    // A long command keeps its first bytes and its length; the ring keeps at
    // most ByteCapacity bytes, the oldest entries going first.
    void boundedInBytes()
    {
        TCommLog log;
        log.Append(0, TCommLog::lkSent, QByteArray(200002, 'x'));
        QCOMPARE(log.At(0).Bytes.size(), TCommLog::LongEntry);
        QVERIFY(log.Line(log.At(0)).endsWith(QString::fromUtf8("xxx \u2026 (200,002 bytes)")));
        log.Flush();
        QVERIFY(log.data(log.index(0, TCommLog::lcHex)).toString().endsWith(QString::fromUtf8("78 \u2026 (200,002 bytes)")));
        const int many = int(TCommLog::ByteCapacity / TCommLog::LongEntry) + 100;
        for (int i = 1; i <= many; ++i)
            log.Append(0, TCommLog::lkSent, QByteArray::number(i) + QByteArray(TCommLog::LongEntry, 'y'));
        QVERIFY(log.Bytes() <= TCommLog::ByteCapacity);
        QCOMPARE(log.Count(), qsizetype(TCommLog::ByteCapacity / TCommLog::LongEntry));
        QVERIFY(log.At(0).Bytes.startsWith(QByteArray::number(many - log.Count() + 1) + 'y'));
        log.Flush();
        QCOMPARE(log.rowCount(), int(log.Count()));
        QCOMPARE(log.Row(0)->Bytes, log.At(0).Bytes);
        QVERIFY(!log.Row(int(log.Count())));
    }

    // A device that never ends a line: the log keeps the line's start, then one
    // entry with its length when its LF comes or the link's next event.
    void lineWithoutEndIsCounted()
    {
        TCommLog log;
        const QByteArray chunk(4096, '0');
        for (int i = 0; i < 1000; ++i)
            log.Received(0, QByteArray(), chunk);
        QCOMPARE(log.Count(), 17);  // up to the bound and the piece that passes it
        log.Received(0, QByteArray(), "0\nMr\r\n");
        QCOMPARE(log.Count(), 20);
        QCOMPARE(log.At(17).Bytes, QByteArray("discarded 4,096,001 bytes without a line end"));
        QCOMPARE(log.At(18).Bytes, QByteArray("Mr\r\n"));
        QCOMPARE(log.At(19).Kind, TCommLog::lkReply);
        for (int i = 0; i < 100; ++i)
            log.Received(0, QByteArray(), chunk);
        log.Event(0, QStringLiteral("closed"));
        QCOMPARE(log.At(log.Count() - 2).Bytes, QByteArray("discarded 409,600 bytes without a line end"));
        QCOMPARE(log.At(log.Count() - 1).Bytes, QByteArray("closed"));
    }

    void savedAndClearedLines()
    {
        TCommLog log;
        log.Append(log.LinkId(QStringLiteral("serial:/dev/ttyUSB0@9600")), TCommLog::lkSent, "Se\r\n");
        log.Event(log.LinkId(QStringLiteral("tcp://10.0.0.1:1001")), QStringLiteral("failed: connection refused"));
        QTemporaryDir dir;
        QString error;
        QVERIFY(log.Save(dir.filePath("log.txt"), error));
        QFile file(dir.filePath("log.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith(" serial:/dev/ttyUSB0@9600 > Se<0D><0A>"));
        QVERIFY(lines[1].endsWith(" tcp://10.0.0.1:1001 * failed: connection refused"));
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ").match(QString::fromUtf8(lines[0])).hasMatch(),
                 lines[0].constData());
        // The Hex column holds the link's bytes, none for an event.
        log.Flush();
        QCOMPARE(log.data(log.index(0, TCommLog::lcHex)).toString(), QStringLiteral("53 65 0D 0A"));
        QCOMPARE(log.data(log.index(1, TCommLog::lcHex)).toString(), QString());
        QVERIFY(!log.Save(dir.filePath("no/such/folder/log.txt"), error));
        log.Clear();
        QCOMPARE(log.Count(), 0);
        QCOMPARE(log.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(CommLogTest)
#include "commlog_test.moc"
