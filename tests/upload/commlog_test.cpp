// The communication log's ring and how it writes bytes as text.
#include "CommLog.h"

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
        QVERIFY(!log.Save(dir.filePath("no/such/folder/log.txt"), error));
        log.Clear();
        QCOMPARE(log.Count(), 0);
        QCOMPARE(log.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(CommLogTest)
#include "commlog_test.moc"
