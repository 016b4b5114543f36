// The check before sending, over real files: each finding on its row, one
// finding per kind and row, and the texts the technician reads.
#include "DatabaseCheck.h"
#include "DatabaseFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class DatabaseCheckTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    static QString KindName(TFinding::TKind kind)
    {
        static const char* const names[] = {"empty", "udp", "break", "control", "fewer", "encoding", "unloaded", "large"};
        return QString::fromLatin1(names[kind]);
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void findingsOnTheirRows_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("udp");
        QTest::addColumn<QStringList>("expected");  // "row kind", in order
        QTest::addColumn<QString>("firstText");     // the first finding's whole text, when given

        const QByteArray utf8Name("Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87");  // Zażółć in UTF-8
        const QByteArray cp1250Name("Za\xBF\xF3\xB3\xE6");                  // and in Windows-1250
        QTest::newRow("clean file") << QByteArray("1;Salt;1.20\r\n2;Pepper;2.10\r\n") << true << QStringList{} << "";
        QTest::newRow("tab and DEL are no findings") << QByteArray("1\tx;\x7F\n") << true << QStringList{} << "";
        QTest::newRow("no non-empty line is one empty record")
            << QByteArray("\n\r\n") << false << QStringList{"1 empty"}
            << "row 1: empty record; the upload would stop there with \"Database could not be sent to scale.\"";
        QTest::newRow("97-byte record fits a UDP command")
            << QByteArray("1;a\n" + QByteArray(96, 'x') + "\n") << true << QStringList{"2 fewer"} << "";
        QTest::newRow("98 bytes with the padding is one over")
            << QByteArray("1;a\n" + QByteArray(97, 'x') + "\n") << true << QStringList{"2 udp", "2 fewer"}
            << "row 2: 98 bytes; its UDP command is 100 bytes, over the 99 a UDP command holds";
        QTest::newRow("over 16 MiB, over any link, stands for the UDP finding too")
            << QByteArray(16777216, 'x') + ";\n" << true << QStringList{"1 large"}
            << "row 1: 16,777,217 bytes, over the 16 MiB a record may have";
        QTest::newRow("long records are no finding over serial or TCP")
            << QByteArray(200, 'x') + "\n" << false << QStringList{} << "";
        QTest::newRow("rows count without the empty lines")
            << QByteArray("\n\na;b\n\nc\n") << false << QStringList{"2 fewer"}
            << "row 2: 1 field where the widest row has 2; it is sent padded with 1 empty field";
        QTest::newRow("CR inside a record")
            << QByteArray("a;x\nb;c\rd\n") << false << QStringList{"2 break"}
            << "row 2: CR inside the record (field 2); over serial or TCP the scale takes it as the end of the command";
        QTest::newRow("CR CR LF keeps a CR in the record") << QByteArray("a\r\r\n") << false << QStringList{"1 break"} << "";
        QTest::newRow("NUL inside a record")
            << QByteArray("a;b\0c\n", 6) << true << QStringList{"1 break"}
            << "row 1: NUL inside the record (field 2); over UDP the scale takes it as the end of the text";
        QTest::newRow("control bytes, one finding a row")
            << QByteArray("a;x\n\x1B" "b;\x01\n") << false << QStringList{"2 control"}
            << "row 2: 2 control bytes, the first 0x1B in field 1; the scale gets them as they are "
               "(below 0x20 only tab belongs in a record)";
        QTest::newRow("every kind of one row, each once")
            << QByteArray("a;b;c\n" + QByteArray(92, 'x') + QByteArray("\r\r\0\x02\x03\n", 6)) << true
            << QStringList{"2 udp", "2 break", "2 control", "2 fewer"} << "";
        QTest::newRow("one UTF-8 line among Windows-1250 ones")
            << QByteArray("1;" + cp1250Name + "\n2;x\n3;" + utf8Name + "\n4;" + cp1250Name + "\n") << false
            << QStringList{"3 encoding"}
            << "row 3: UTF-8 text, while 2 rows are in another encoding (the first is row 1); "
               "the grid and the scale show it garbled";
        QTest::newRow("one Windows-1250 line among UTF-8 ones")
            << QByteArray(utf8Name + "\n" + utf8Name + "\n" + cp1250Name + "\n") << false << QStringList{"3 encoding"}
            << "row 3: not UTF-8, while 2 rows are UTF-8 text (the first is row 1); one of the two shows garbled on the scale";
        QTest::newRow("Windows-1250 alone") << QByteArray(cp1250Name + "\nx\n" + cp1250Name + "\n") << false
                                            << QStringList{} << "";
        QTest::newRow("UTF-8 alone") << QByteArray(utf8Name + "\nx\n") << false << QStringList{} << "";
        QTest::newRow("findings in row order")
            << QByteArray("a;b\n" + cp1250Name + "\n\x01;x\n" + utf8Name + ";x\n" + utf8Name + ";x\n") << false
            << QStringList{"2 fewer", "2 encoding", "3 control"} << "";
    }
    void findingsOnTheirRows()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, udp);
        QFETCH(QStringList, expected);
        QFETCH(QString, firstText);
        const QString path = dir.filePath(QStringLiteral("db.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(file), file.size());
        f.close();
        TGridTable table;
        LoadDatabaseFile(path, table);
        const std::vector<TFinding> findings = CheckDatabase(table, udp);
        QStringList seen;
        for (const TFinding& finding : findings) {
            seen << QStringLiteral("%1 %2").arg(finding.Row).arg(KindName(finding.Kind));
            QVERIFY(finding.Text().startsWith(QStringLiteral("row %1: ").arg(finding.Row)));
        }
        QCOMPARE(seen, expected);
        if (!firstText.isEmpty())
            QCOMPARE(findings.front().Text(), firstText);
    }

    // The grid before any file: five rows of empty fields, each sent as four separators.
    void unloadedGridIsOneFinding()
    {
        const std::vector<TFinding> findings = CheckDatabase(TGridTable(), true);
        QCOMPARE(findings.size(), 1u);
        QCOMPARE(findings[0].Text(),
                 QStringLiteral("no database opened: the grid's 5 empty rows would go to the scale as 5 empty records"));
    }
};

QTEST_GUILESS_MAIN(DatabaseCheckTest)
#include "databasecheck_test.moc"
