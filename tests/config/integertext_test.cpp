#include "IntegerText.h"

#include <QTest>

class IntegerTextTest : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

void IntegerTextTest::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<int>("value");

    QTest::newRow("plain decimal") << "1001" << true << 1001;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("leading blanks") << "  12" << true << 12;
    QTest::newRow("plus sign") << "+7" << true << 7;
    QTest::newRow("minus sign") << "-5" << true << -5;
    QTest::newRow("blanks before sign") << "  -5" << true << -5;
    QTest::newRow("dollar hex") << "$1F" << true << 31;
    QTest::newRow("x hex") << "x1f" << true << 31;
    QTest::newRow("X hex") << "X10" << true << 16;
    QTest::newRow("0x hex") << "0x10" << true << 16;
    QTest::newRow("0X hex") << "0XfF" << true << 255;
    QTest::newRow("negative dollar hex") << "-$10" << true << -16;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("largest hex") << "$7FFFFFFF" << true << 2147483647;
    QTest::newRow("smallest hex") << "-$80000000" << true << int(-2147483647 - 1);

    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blanks only") << "   " << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("dollar only") << "$" << false << 0;
    QTest::newRow("0x only") << "0x" << false << 0;
    QTest::newRow("trailing blank") << "12 " << false << 0;
    QTest::newRow("blank after sign") << "- 5" << false << 0;
    QTest::newRow("two signs") << "+-5" << false << 0;
    QTest::newRow("sign after prefix") << "$-5" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("hex digit in decimal") << "12a" << false << 0;
    QTest::newRow("non-hex digit in hex") << "$1G" << false << 0;
    QTest::newRow("decimal point") << "1.5" << false << 0;
    QTest::newRow("tab before digits") << "\t5" << false << 0;
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661\u0662") << false << 0;
    QTest::newRow("one above largest") << "2147483648" << false << 0;
    QTest::newRow("one below smallest") << "-2147483649" << false << 0;
    QTest::newRow("hex all ones out of range") << "$FFFFFFFF" << false << 0;
    QTest::newRow("hex above 32 bits") << "0x100000000" << false << 0;
    QTest::newRow("many digits") << QString(40, u'9') << false << 0;
}

void IntegerTextTest::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, parses);
    QFETCH(int, value);

    std::int32_t result = 12345;
    QCOMPARE(TryParseInteger(text, result), parses);
    QCOMPARE(result, parses ? value : 12345); // untouched when it does not parse
}

QTEST_APPLESS_MAIN(IntegerTextTest)
#include "integertext_test.moc"
