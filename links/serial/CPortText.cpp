// Text forms of the serial settings, the event mask and the error messages.
#include "CPort.h"

#include "Translate.h"

#include <array>
#include <iterator>

namespace {

template <typename E, std::size_t N>
E FromText(const std::array<const char*, N>& texts, const QString& text, E fallback)
{
    for (std::size_t i = 0; i < N; ++i)
        if (text.compare(QLatin1String(texts[i]), Qt::CaseInsensitive) == 0)
            return static_cast<E>(i);
    return fallback;
}

template <std::size_t N>
QString ToText(const std::array<const char*, N>& texts, unsigned ordinal)
{
    return ordinal < N ? QString::fromLatin1(texts[ordinal]) : QString();
}

constexpr std::array<const char*, 16> BaudTexts = {"Custom", "110", "300", "600", "1200", "2400", "4800", "9600",
                                                    "14400", "19200", "38400", "56000", "57600", "115200", "128000",
                                                    "256000"};
constexpr std::array<std::int32_t, 16> BaudValues = {0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200,
                                                     38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::array<const char*, 3> StopTexts = {"1", "1.5", "2"};
constexpr std::array<const char*, 4> DataTexts = {"5", "6", "7", "8"};
constexpr std::array<const char*, 5> ParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> FlowTexts = {"Hardware", "Software", "None", "Custom"};
constexpr std::array<const char*, 3> DtrTexts = {"Disable", "Enable", "Handshake"};
constexpr std::array<const char*, 4> RtsTexts = {"Disable", "Enable", "Handshake", "Toggle"};

// Windows event bit of each TComEvent ordinal.
constexpr std::array<std::uint32_t, 10> EventBits = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040,
                                                     0x0008, 0x0010, 0x0080, 0x0020, 0x0400};

constexpr std::array<const char*, 23> MessageTexts = {
    QT_TRANSLATE_NOOP("cport", "Unable to open com port"),
    QT_TRANSLATE_NOOP("cport", "WriteFile function failed"),
    QT_TRANSLATE_NOOP("cport", "ReadFile function failed"),
    QT_TRANSLATE_NOOP("cport", "Invalid Async parameter"),
    QT_TRANSLATE_NOOP("cport", "PurgeComm function failed"),
    QT_TRANSLATE_NOOP("cport", "Unable to get async status"),
    QT_TRANSLATE_NOOP("cport", "SetCommState function failed"),
    QT_TRANSLATE_NOOP("cport", "SetCommTimeouts failed"),
    QT_TRANSLATE_NOOP("cport", "SetupComm function failed"),
    QT_TRANSLATE_NOOP("cport", "ClearCommError function failed"),
    QT_TRANSLATE_NOOP("cport", "GetCommModemStatus function failed"),
    QT_TRANSLATE_NOOP("cport", "EscapeCommFunction function failed"),
    QT_TRANSLATE_NOOP("cport", "TransmitCommChar function failed"),
    QT_TRANSLATE_NOOP("cport", "Cannot set property while connected"),
    QT_TRANSLATE_NOOP("cport", "EnumPorts function failed"),
    QT_TRANSLATE_NOOP("cport", "Failed to store settings"),
    QT_TRANSLATE_NOOP("cport", "Failed to load settings"),
    QT_TRANSLATE_NOOP("cport", "Link (un)registration failed"),
    QT_TRANSLATE_NOOP("cport", "Cannot change led state if ComPort is selected"),
    QT_TRANSLATE_NOOP("cport", "Cannot wait for event if event thread is created"),
    QT_TRANSLATE_NOOP("cport", "WaitForEvent method failed"),
    QT_TRANSLATE_NOOP("cport", "A component is linked to OnRxBuf event"),
    QT_TRANSLATE_NOOP("cport", "Registry error"),
};

// Translated once, on first use.
const QString& MessageText(std::int32_t code)
{
    static const std::array<QString, MessageTexts.size()> translated = [] {
        std::array<QString, MessageTexts.size()> t;
        for (std::size_t i = 0; i < MessageTexts.size(); ++i)
            t[i] = CportText(MessageTexts[i]);
        return t;
    }();
    static const QString none;
    return (code >= 1 && code <= static_cast<std::int32_t>(translated.size())) ? translated[std::size_t(code - 1)]
                                                                               : none;
}

}

EComPort::EComPort(std::int32_t portErrorCode, std::int32_t systemErrorCode)
    : PortErrorCode(portErrorCode), SystemErrorCode(systemErrorCode), message_(MessageText(portErrorCode))
{
    if (systemErrorCode != -1)
        message_ += QStringLiteral(" (win error code: %1)").arg(systemErrorCode);
    utf8_ = message_.toStdString();
}

QString BaudRateToText(TBaudRate value) { return ToText(BaudTexts, value); }
QString StopBitsToText(TStopBits value) { return ToText(StopTexts, value); }
QString DataBitsToText(TDataBits value) { return ToText(DataTexts, value); }
QString ParityToText(TParityBits value) { return ToText(ParityTexts, value); }
QString FlowControlToText(TFlowControl value) { return ToText(FlowTexts, value); }
QString DTRToText(TDTRFlowControl value) { return ToText(DtrTexts, value); }
QString RTSToText(TRTSFlowControl value) { return ToText(RtsTexts, value); }

TBaudRate TextToBaudRate(const QString& text) { return FromText(BaudTexts, text, br9600); }
TStopBits TextToStopBits(const QString& text) { return FromText(StopTexts, text, sbOneStopBit); }
TDataBits TextToDataBits(const QString& text) { return FromText(DataTexts, text, dbEight); }
TParityBits TextToParity(const QString& text) { return FromText(ParityTexts, text, prNone); }
TFlowControl TextToFlowControl(const QString& text) { return FromText(FlowTexts, text, fcCustom); }
TDTRFlowControl TextToDTR(const QString& text) { return FromText(DtrTexts, text, dtrDisable); }
TRTSFlowControl TextToRTS(const QString& text) { return FromText(RtsTexts, text, rtsDisable); }

std::int32_t BaudRateToInt(TBaudRate value)
{
    return value < BaudValues.size() ? BaudValues[value] : 0;
}

QString BoolToText(bool value)
{
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

bool TextToBool(const QString& text)
{
    return text.compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0;
}

QString CharToText(char value)
{
    const int code = static_cast<unsigned char>(value);
    if (code >= 33 && code <= 127)
        return QString(QLatin1Char(value));
    return QLatin1Char('#') + QString::number(code);
}

char TextToChar(const QString& text)
{
    if (text.isEmpty())
        return 0;
    if (text.startsWith(QLatin1Char('#')) && text.size() > 1) {
        bool ok = false;
        const int code = text.mid(1).toInt(&ok, 10);
        return ok ? static_cast<char>(static_cast<unsigned>(code) & 0xFFu) : 0;
    }
    const QByteArray bytes = text.left(1).toLocal8Bit();
    return bytes.isEmpty() ? 0 : bytes.front();
}

std::uint32_t EventsToMask(TComEvents events)
{
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < EventBits.size(); ++i)
        if (events & (1u << i))
            mask |= EventBits[i];
    return mask;
}

TComEvents MaskToEvents(std::uint32_t mask)
{
    TComEvents events = 0;
    for (std::size_t i = 0; i < EventBits.size(); ++i)
        if (mask & EventBits[i])
            events |= static_cast<TComEvents>(1u << i);
    return events;
}
