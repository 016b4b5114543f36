// The small text conversions settings pass through: any text must convert to
// a valid value, and every value must survive the trip to text and back.
#include "CPort.h"
#include "CPortSettings.h"
#include "IntegerText.h"

#include <QRegularExpression>
#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, const QString& text = {})
{
    std::fprintf(stderr, "fuzz_convert: %s [%s]\n", what, qPrintable(text));
    std::abort();
}

template <typename E>
void CheckEnum(const QString& text, E (*fromText)(const QString&), QString (*toText)(E), unsigned count,
               const char* name)
{
    // Every value there is goes to text and back unchanged, and has a text
    // (the same every time: checked on the first input only).
    static bool once = false;
    for (unsigned i = 0; !once && i < count; ++i) {
        const E value = static_cast<E>(i);
        if (toText(value).isEmpty() || fromText(toText(value)) != value)
            Fail(name, toText(value));
    }
    once = true;
    // Any text gives one of them, whose text gives it again.
    const E value = fromText(text);
    if (static_cast<unsigned>(value) >= count)
        Fail(name, text);
    if (fromText(toText(value)) != value)
        Fail(name, text);
}

void CheckChar(const QString& text)
{
    const char c = TextToChar(text);
    const QString once = CharToText(c);
    if (TextToChar(once) != c || CharToText(TextToChar(once)) != once)
        Fail("char text does not come back", text);
}

QString Hex(std::int64_t magnitude)
{
    return QString::number(magnitude, 16);
}

void CheckIntegers(std::int32_t v, const QString& text)
{
    const std::int64_t magnitude = v < 0 ? -std::int64_t(v) : v;
    const QString sign = v < 0 ? QStringLiteral("-") : QString();
    const QString forms[] = {QString::number(v), QStringLiteral("  ") + QString::number(v),
                             sign + u'$' + Hex(magnitude), sign + QStringLiteral("0x") + Hex(magnitude).toUpper(),
                             sign + u'X' + Hex(magnitude)};
    for (const QString& form : forms) {
        std::int32_t parsed = v ^ 1;
        if (!TryParseInteger(form, parsed) || parsed != v)
            Fail("integer text does not come back", form);
    }
    std::int32_t parsed = v ^ 1;
    if (!ParseIniInteger(QString::number(v), parsed) || parsed != v)
        Fail("ini integer text does not come back", QString::number(v));
    if (v >= 0 && (!ParseIniInteger(QStringLiteral("0x") + Hex(v), parsed) || parsed != v))
        Fail("ini hex text does not come back", Hex(v));

    // Arbitrary text: only the integer forms parse, a failure leaves the value alone,
    // and a short decimal is never refused.
    static const QRegularExpression shape(
        QRegularExpression::anchoredPattern(QStringLiteral(" *[+-]?(\\$|0[xX]|[xX])?[0-9a-fA-F]+")));
    static const QRegularExpression small(QRegularExpression::anchoredPattern(QStringLiteral(" *[+-]?[0-9]{1,9}")));
    std::int32_t value = 12345;
    const bool ok = TryParseInteger(text, value);
    if (!ok && value != 12345)
        Fail("a refused integer text changed the value", text);
    if (ok && !shape.match(text).hasMatch())
        Fail("a text that is no integer parsed", text);
    if (!ok && small.match(text).hasMatch())
        Fail("a short decimal did not parse", text);
    static const QRegularExpression hex(QStringLiteral("[$xX]"));
    if (ok && !text.contains(hex) && value != text.trimmed().toInt(nullptr, 10))
        Fail("a decimal parsed to another value", text);

    std::int32_t ini = 12345;
    if (!ParseIniInteger(text, ini) && ini != 12345)
        Fail("a refused ini integer changed the value", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto v = in.ConsumeIntegral<std::int32_t>();
    const int form = in.ConsumeIntegralInRange(0, 2);
    const std::string rest = in.ConsumeRemainingBytesAsString();
    QString text;
    if (form == 0)
        text = QString::fromUtf8(rest.data(), static_cast<qsizetype>(rest.size()));
    else if (form == 1)
        text = QString::fromLatin1(rest.data(), static_cast<qsizetype>(rest.size()));
    else
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(rest.data()), static_cast<qsizetype>(rest.size() / 2));

    CheckEnum<TBaudRate>(text, TextToBaudRate, BaudRateToText, 16, "baud rate");
    CheckEnum<TStopBits>(text, TextToStopBits, StopBitsToText, 3, "stop bits");
    CheckEnum<TDataBits>(text, TextToDataBits, DataBitsToText, 4, "data bits");
    CheckEnum<TParityBits>(text, TextToParity, ParityToText, 5, "parity");
    CheckEnum<TFlowControl>(text, TextToFlowControl, FlowControlToText, 4, "flow control");
    CheckEnum<TDTRFlowControl>(text, TextToDTR, DTRToText, 3, "DTR");
    CheckEnum<TRTSFlowControl>(text, TextToRTS, RTSToText, 4, "RTS");

    if (TextToBool(BoolToText(TextToBool(text))) != TextToBool(text))
        Fail("bool text does not come back", text);
    if (TextToBool(BoolToText(true)) != true || TextToBool(BoolToText(false)) != false)
        Fail("Yes/No do not come back");

    CheckChar(text);
    static bool allChars = false;
    for (int c = 0; !allChars && c < 256; ++c) {
        const char ch = static_cast<char>(c);
        if (TextToChar(CharToText(ch)) != ch)
            Fail("a character does not come back", CharToText(ch));
    }
    allChars = true;

    CheckIntegers(v, text);
    return 0;
}
