// Loading database files into the table: splitting, skipped lines, the bytes
// kept as they are, failures, and how cells are shown.
#include "DatabaseFile.h"
#include "GridTable.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using Rows = QList<QByteArrayList>;

class LoaderTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int files = 0;

    QString Write(const QByteArray& bytes)
    {
        const QString path = dir.filePath(QStringLiteral("db%1.csv").arg(++files));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // Every cell of the table against `rows`; a cell `rows` does not name is empty.
    static bool SameCells(const TGridTable& table, const Rows& rows)
    {
        for (int r = 0; r < table.RowCount(); ++r) {
            for (int c = 0; c < table.ColCount(); ++c) {
                const QByteArray want = r < rows.size() && c < rows[r].size() ? rows[r][c] : QByteArray();
                if (table.Cell(c, r) != want) {
                    qWarning("cell %d,%d is \"%s\", expected \"%s\"", c, r, table.Cell(c, r).toPercentEncoding().constData(),
                             want.toPercentEncoding().constData());
                    return false;
                }
            }
        }
        return true;
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void splitsLinesAndFields_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<int>("colCount");
        QTest::addColumn<Rows>("cells");

        QTest::newRow("two lines of three and two fields")
            << QByteArray("7;Salt;1.20\n8;Pepper\n") << 2 << 3 << Rows{{"7", "Salt", "1.20"}, {"8", "Pepper"}};
        QTest::newRow("a;;b; is four fields") << QByteArray("a;;b;\n") << 1 << 4 << Rows{{"a", "", "b", ""}};
        QTest::newRow("separator alone is two empty fields") << QByteArray(";\n") << 1 << 2 << Rows{{"", ""}};
        QTest::newRow("blanks around separators kept")
            << QByteArray(" 7 ; Salt ;\t1.20 \n") << 1 << 3 << Rows{{" 7 ", " Salt ", "\t1.20 "}};
        QTest::newRow("empty lines at start, middle and end skipped")
            << QByteArray("\n\nx\n\n\ny;z\n\n") << 2 << 2 << Rows{{"x"}, {"y", "z"}};
        QTest::newRow("empty CR LF lines skipped") << QByteArray("\r\n\r\nx\r\n\r\n") << 1 << 1 << Rows{{"x"}};
        QTest::newRow("one blank is a record") << QByteArray("\n \n\n") << 1 << 1 << Rows{{" "}};
        QTest::newRow("empty file") << QByteArray() << 1 << 1 << Rows{};
        QTest::newRow("only line ends") << QByteArray("\n\r\n\n") << 1 << 1 << Rows{};
        QTest::newRow("no final line end") << QByteArray("a;b\nc") << 2 << 2 << Rows{{"a", "b"}, {"c"}};
        QTest::newRow("Ctrl+Z ends the file")
            << QByteArray("a\n\x1A" "b;c;d\n") << 1 << 1 << Rows{{"a"}};
        QTest::newRow("Ctrl+Z inside a line") << QByteArray("ab\x1A" "cd;e\n") << 1 << 1 << Rows{{"ab"}};
        QTest::newRow("Ctrl+Z first") << QByteArray("\x1A" "a;b\n") << 1 << 1 << Rows{};
        QTest::newRow("CR LF ends a line") << QByteArray("a;b\r\nc\r\n") << 2 << 2 << Rows{{"a", "b"}, {"c"}};
        QTest::newRow("lone CR stays in the field") << QByteArray("a\rb;c\n") << 1 << 2 << Rows{{"a\rb", "c"}};
        QTest::newRow("CR before a separator stays") << QByteArray("a\r;b\r\n") << 1 << 2 << Rows{{"a\r", "b"}};
        QTest::newRow("CR at the end of the file stays") << QByteArray("a\nb\r") << 2 << 1 << Rows{{"a"}, {"b\r"}};
        QTest::newRow("CR CR LF keeps one CR") << QByteArray("a\r\r\n") << 1 << 1 << Rows{{"a\r"}};
        QTest::newRow("lone CR line is a record") << QByteArray("\r\nx\n\r\r\n") << 2 << 1 << Rows{{"x"}, {"\r"}};
        QTest::newRow("NUL and high bytes kept")
            << QByteArray("\0a;\x80\xFF\n\xB9\0\n", 9) << 2 << 2
            << Rows{{QByteArray("\0a", 2), "\x80\xFF"}, {QByteArray("\xB9\0", 2)}};
    }
    void splitsLinesAndFields()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, rowCount);
        QFETCH(int, colCount);
        QFETCH(Rows, cells);
        TGridTable table;
        LoadDatabaseFile(Write(file), table);
        QCOMPARE(table.RowCount(), rowCount);
        QCOMPARE(table.ColCount(), colCount);
        QCOMPARE(table.rowCount(), rowCount);
        QCOMPARE(table.columnCount(), colCount);
        QVERIFY(SameCells(table, cells));
    }

    // Fields of every length, so separators fall at every position of a
    // machine word, made of bytes next to ';' and LF or equal to them but for the top bit.
    void separatorsAtEveryOffset()
    {
        const QByteArray alphabet("a:<\x0B\x09\xBB\x8A\0\xFF\x1B", 10);
        QByteArray file;
        Rows expected;
        for (int i = 0; i < 300; ++i) {
            QByteArrayList fields;
            for (int j = 0; j < i % 7 + 1; ++j) {
                QByteArray field;
                for (int k = 0; k < (i * 7 + j * 3) % 19; ++k)
                    field += alphabet[(i + j + k) % alphabet.size()];
                fields << field;
            }
            const QByteArray line = fields.join(';');
            file += line + (i % 2 ? "\r\n" : "\n");
            if (!line.isEmpty())
                expected << fields;
        }
        TGridTable table;
        LoadDatabaseFile(Write(file), table);
        QCOMPARE(table.RowCount(), expected.size());
        QCOMPARE(table.ColCount(), 7);
        QVERIFY(SameCells(table, expected));
    }

    void secondLoadReplacesTheFirst()
    {
        TGridTable table;
        LoadDatabaseFile(Write("1;2;3\n4;5;6\n7;8;9\n"), table);
        LoadDatabaseFile(Write("a\nb;c\n"), table);
        QCOMPARE(table.RowCount(), 2);
        QCOMPARE(table.ColCount(), 2);
        QVERIFY(SameCells(table, Rows{{"a"}, {"b", "c"}}));
        QVERIFY(table.Cell(1, 0).isEmpty());
        QVERIFY(table.Cell(2, 2).isEmpty());
        QCOMPARE(table.Record(0), QByteArray("a;"));
    }

    // A cell taken before the table changes must not point into the freed
    // buffer; one this large is unmapped when freed, so a stale cell would crash.
    void cellOutlivesTheTable()
    {
        TGridTable table;
        LoadDatabaseFile(Write("ab;" + QByteArray(40 * 1024 * 1024, 'x')), table);
        const QByteArray cell = table.Cell(0, 0);
        const QByteArray record = table.Record(0);
        table.Reset(5, 5);
        QCOMPARE(cell, QByteArray("ab"));
        QCOMPARE(record.size(), 3 + 40 * 1024 * 1024);
        QVERIFY(record.startsWith("ab;xxx"));
    }

    void shortRowRecordEndsInSeparators_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("full row") << QByteArray("7;Salt;1.20\n8;Pepper\n") << 0 << QByteArray("7;Salt;1.20");
        QTest::newRow("one field missing") << QByteArray("7;Salt;1.20\n8;Pepper\n") << 1 << QByteArray("8;Pepper;");
        QTest::newRow("two fields missing") << QByteArray("7;Salt;1.20\n8\n") << 1 << QByteArray("8;;");
        QTest::newRow("one empty column") << QByteArray("\n") << 0 << QByteArray();
    }
    void shortRowRecordEndsInSeparators()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, row);
        QFETCH(QByteArray, record);
        TGridTable table;
        LoadDatabaseFile(Write(file), table);
        QCOMPARE(table.Record(row), record);
    }

    void emptyGridBeforeAnyLoad()
    {
        TGridTable table;
        QCOMPARE(table.RowCount(), 5);
        QCOMPARE(table.ColCount(), 5);
        QCOMPARE(table.Record(4), QByteArray(";;;;"));
    }

    // Every byte but the line structure's own comes back from Record() unchanged.
    void everyByteRoundTrips()
    {
        QByteArray low, mid, high;
        for (int b = 0x00; b < 0x3B; ++b)
            if (b != '\n' && b != 0x1A)
                low += char(b);
        for (int b = 0x3C; b < 0x80; ++b)
            mid += char(b);
        for (int b = 0x80; b <= 0xFF; ++b)
            high += char(b);
        // The CR inside `low` is followed by other bytes; a second row ends a field in CR.
        const QByteArray row0 = low + ';' + mid + ';' + high;
        const QByteArray row1 = high + "\r;" + low + '\r';
        TGridTable table;
        LoadDatabaseFile(Write(row0 + "\r\n" + row1 + ";\n"), table);
        QCOMPARE(table.RowCount(), 2);
        QCOMPARE(table.ColCount(), 3);
        QCOMPARE(table.Record(0), row0);
        QCOMPARE(table.Record(1), row1 + ';');
        QCOMPARE(table.Cell(2, 0), high);
        QCOMPARE(table.Cell(1, 1), low + '\r');
    }

    void cellsShownDecoded_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTF-8 file") << QByteArray("\xC4\x85;x\n") << QStringLiteral("\u0105");
        QTest::newRow("Windows-1250 file") << QByteArray("\xB9;x\n") << QStringLiteral("\u0105");
        QTest::newRow("one stray byte elsewhere makes the whole file Windows-1250")
            << QByteArray("\xC4\x85;x\n\xB9\n") << QStringLiteral("\u00C4\u2026");
        QTest::newRow("overlong form is not UTF-8") << QByteArray("\xC0\xB9\n") << QStringLiteral("\u0154\u0105");
        QTest::newRow("sequence cut by the end of the file") << QByteArray("\xC4") << QStringLiteral("\u00C4");
        QTest::newRow("bytes after Ctrl+Z do not decide")
            << QByteArray("\xC4\x85\n\x1A\xB9") << QStringLiteral("\u0105");
        QTest::newRow("Windows-1250 upper half") << QByteArray("\x8A\x9F\xA3\xFF") << QStringLiteral("\u0160\u017A\u0141\u02D9");
    }
    void cellsShownDecoded()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        TGridTable table;
        LoadDatabaseFile(Write(file), table);
        QCOMPARE(table.data(table.index(0, 0)).toString(), shown);
    }

    void unreadableFileLeavesTheTable_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << dir.filePath(QStringLiteral("no such file.csv"));
        QTest::newRow("directory") << dir.path();
        // Opens, then fails the first read (EIO at the unmapped address 0).
        QTest::newRow("read fails after open") << QStringLiteral("/proc/self/mem");
    }
    void unreadableFileLeavesTheTable()
    {
        QFETCH(QString, path);
        TGridTable table;
        LoadDatabaseFile(Write("1;2\n3\n"), table);
        try {
            LoadDatabaseFile(path, table);
            QFAIL("no EInOutError");
        } catch (const EInOutError& e) {
            QVERIFY2(QString::fromLocal8Bit(e.what()).contains(path), e.what());
        }
        QCOMPARE(table.RowCount(), 2);
        QCOMPARE(table.ColCount(), 2);
        QVERIFY(SameCells(table, Rows{{"1", "2"}, {"3"}}));
    }

    void gridHasNoHeadersAndCannotBeEdited()
    {
        TGridTable table;
        LoadDatabaseFile(Write("a;b\n"), table);
        QVERIFY(!table.headerData(0, Qt::Horizontal).isValid());
        QVERIFY(!table.headerData(0, Qt::Vertical).isValid());
        const Qt::ItemFlags flags = table.flags(table.index(0, 1));
        QVERIFY(flags.testFlag(Qt::ItemIsSelectable));
        QVERIFY(!flags.testFlag(Qt::ItemIsEditable));
        QVERIFY(!table.setData(table.index(0, 1), QStringLiteral("c")));
        QCOMPARE(table.Cell(1, 0), QByteArray("b"));
    }

    void fileWithoutReadAccess()
    {
        const QString path = Write("a\n");
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        if (::access(QFile::encodeName(path).constData(), R_OK) == 0)
            QSKIP("running with rights that read any file");
        TGridTable table;
        QVERIFY_THROWS_EXCEPTION(EInOutError, LoadDatabaseFile(path, table));
        QCOMPARE(table.RowCount(), 5);
    }

    void hundredMegabyteLine()
    {
        QByteArray line(100 * 1024 * 1024, 'x');
        line[10] = ';';
        line[line.size() - 1] = ';';
        const QString path = Write(line);
        line.clear();
        line.squeeze();
        TGridTable table;
        LoadDatabaseFile(path, table);
        QCOMPARE(table.RowCount(), 1);
        QCOMPARE(table.ColCount(), 3);
        QCOMPARE(table.Cell(0, 0), QByteArray(10, 'x'));
        QCOMPARE(table.Cell(1, 0).size(), 100 * 1024 * 1024 - 12);
        QVERIFY(table.Cell(2, 0).isEmpty());
        QFile::remove(path);
    }

    void millionEmptyLines_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR LF") << QByteArray("\r\n");
    }
    void millionEmptyLines()
    {
        QFETCH(QByteArray, lineEnd);
        TGridTable table;
        const QString path = Write(lineEnd.repeated(1000000) + "last;x" + lineEnd.repeated(1000000));
        LoadDatabaseFile(path, table);
        QCOMPARE(table.RowCount(), 1);
        QCOMPARE(table.ColCount(), 2);
        QCOMPARE(table.Record(0), QByteArray("last;x"));
        QFile::remove(path);
    }

    void millionRecords()
    {
        QByteArray file;
        for (int i = 0; i < 1000000; ++i)
            file += QByteArray::number(i) + ";x\n";
        TGridTable table;
        LoadDatabaseFile(Write(file), table);
        QCOMPARE(table.RowCount(), 1000000);
        QCOMPARE(table.ColCount(), 2);
        QCOMPARE(table.Record(0), QByteArray("0;x"));
        QCOMPARE(table.Record(999999), QByteArray("999999;x"));
    }
};

QTEST_GUILESS_MAIN(LoaderTest)
#include "loader_test.moc"
