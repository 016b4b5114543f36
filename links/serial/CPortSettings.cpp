// The settings file of the serial component: which keys each settings group
// writes and reads, and the ini file and registry stores behind them.
#include "CPort.h"
#include "CPortSettings.h"
#include "SettingsFile.h"

#include <QFileInfo>

// Bytes as they stand: values are the locale's 8-bit text, no conversion.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// A settings file is a few hundred bytes; one this large is not read, and so
// never rewritten either.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

// Flow-control details come last, so that when stored they override the preset.
constexpr std::array<TSettingsGroup, 6> GroupOrder = {sgBasic, sgOthers, sgParity, sgBuffer, sgTimeouts,
                                                      sgFlowControl};

QString Name(const char* name)
{
    return QString::fromLatin1(name);
}

template <typename Sink>
void WriteFlowControlDetails(const TComFlowControl& flow, Sink& out)
{
    out.WriteString("FlowControl.ControlRTS", RTSToText(flow.ControlRTS()));
    out.WriteString("FlowControl.ControlDTR", DTRToText(flow.ControlDTR()));
    out.WriteString("FlowControl.DSRSensitivity", BoolToText(flow.DSRSensitivity()));
    out.WriteString("FlowControl.OutCTSFlow", BoolToText(flow.OutCTSFlow()));
    out.WriteString("FlowControl.OutDSRFlow", BoolToText(flow.OutDSRFlow()));
    out.WriteString("FlowControl.TxContinueOnXoff", BoolToText(flow.TxContinueOnXoff()));
    out.WriteString("FlowControl.XonXoffIn", BoolToText(flow.XonXoffIn()));
    out.WriteString("FlowControl.XonXoffOut", BoolToText(flow.XonXoffOut()));
    out.WriteString("FlowControl.XoffChar", CharToText(flow.XoffChar()));
    out.WriteString("FlowControl.XonChar", CharToText(flow.XonChar()));
}

template <typename Sink>
void WriteSettings(const TCustomComPort& port, Sink& out)
{
    const TComFlowControl& flow = port.FlowControl();
    for (TSettingsGroup group : GroupOrder) {
        if (!InSet(port.SettingsGroups(), group))
            continue;
        switch (group) {
        case sgBasic:
            out.WriteString("Port", port.Port());
            out.WriteString("BaudRate", BaudRateToText(port.BaudRate()));
            if (port.BaudRate() == brCustom)
                out.WriteInteger("CustomBaudRate", port.CustomBaudRate());
            out.WriteString("StopBits", StopBitsToText(port.StopBits()));
            out.WriteString("DataBits", DataBitsToText(port.DataBits()));
            out.WriteString("Parity", ParityToText(port.Parity().Bits()));
            out.WriteString("FlowControl", FlowControlToText(flow.FlowControl()));
            break;
        case sgOthers:
            out.WriteString("EventChar", CharToText(port.EventChar()));
            out.WriteString("DiscardNull", BoolToText(port.DiscardNull()));
            break;
        case sgParity:
            out.WriteString("Parity.Check", BoolToText(port.Parity().Check()));
            out.WriteString("Parity.Replace", BoolToText(port.Parity().Replace()));
            out.WriteString("Parity.ReplaceChar", CharToText(port.Parity().ReplaceChar()));
            break;
        case sgBuffer:
            out.WriteInteger("Buffer.OutputSize", port.Buffer().OutputSize());
            out.WriteInteger("Buffer.InputSize", port.Buffer().InputSize());
            break;
        case sgTimeouts:
            out.WriteInteger("Timeouts.ReadInterval", port.Timeouts().ReadInterval());
            out.WriteInteger("Timeouts.ReadTotalConstant", port.Timeouts().ReadTotalConstant());
            out.WriteInteger("Timeouts.ReadTotalMultiplier", port.Timeouts().ReadTotalMultiplier());
            out.WriteInteger("Timeouts.WriteTotalConstant", port.Timeouts().WriteTotalConstant());
            out.WriteInteger("Timeouts.WriteTotalMultiplier", port.Timeouts().WriteTotalMultiplier());
            break;
        case sgFlowControl:
            WriteFlowControlDetails(flow, out);
            break;
        }
    }
}

template <typename Source>
void ReadFlowControlDetails(TComFlowControl& flow, const Source& in)
{
    flow.SetControlRTS(TextToRTS(in.ReadString("FlowControl.ControlRTS", RTSToText(flow.ControlRTS()))));
    flow.SetControlDTR(TextToDTR(in.ReadString("FlowControl.ControlDTR", DTRToText(flow.ControlDTR()))));
    flow.SetDSRSensitivity(
        TextToBool(in.ReadString("FlowControl.DSRSensitivity", BoolToText(flow.DSRSensitivity()))));
    flow.SetOutCTSFlow(TextToBool(in.ReadString("FlowControl.OutCTSFlow", BoolToText(flow.OutCTSFlow()))));
    flow.SetOutDSRFlow(TextToBool(in.ReadString("FlowControl.OutDSRFlow", BoolToText(flow.OutDSRFlow()))));
    flow.SetTxContinueOnXoff(
        TextToBool(in.ReadString("FlowControl.TxContinueOnXoff", BoolToText(flow.TxContinueOnXoff()))));
    flow.SetXonXoffIn(TextToBool(in.ReadString("FlowControl.XonXoffIn", BoolToText(flow.XonXoffIn()))));
    flow.SetXonXoffOut(TextToBool(in.ReadString("FlowControl.XonXoffOut", BoolToText(flow.XonXoffOut()))));
    flow.SetXoffChar(TextToChar(in.ReadString("FlowControl.XoffChar", CharToText(flow.XoffChar()))));
    flow.SetXonChar(TextToChar(in.ReadString("FlowControl.XonChar", CharToText(flow.XonChar()))));
}

// Each key is read with the setting's current value as its default and
// assigned through the setting's own setter, so a changed Port reopens an
// open port and a preset rewrites its flow-control fields.
template <typename Source>
void ReadSettings(TCustomComPort& port, const Source& in)
{
    TComFlowControl& flow = port.FlowControl();
    for (TSettingsGroup group : GroupOrder) {
        if (!InSet(port.SettingsGroups(), group))
            continue;
        switch (group) {
        case sgBasic:
            port.SetPort(in.ReadString("Port", port.Port()));
            port.SetBaudRate(TextToBaudRate(in.ReadString("BaudRate", BaudRateToText(port.BaudRate()))));
            if (port.BaudRate() == brCustom)
                port.SetCustomBaudRate(in.ReadInteger("CustomBaudRate", 9600));
            port.SetStopBits(TextToStopBits(in.ReadString("StopBits", StopBitsToText(port.StopBits()))));
            port.SetDataBits(TextToDataBits(in.ReadString("DataBits", DataBitsToText(port.DataBits()))));
            port.Parity().SetBits(TextToParity(in.ReadString("Parity", ParityToText(port.Parity().Bits()))));
            flow.SetFlowControl(TextToFlowControl(in.ReadString("FlowControl", FlowControlToText(flow.FlowControl()))));
            break;
        case sgOthers:
            port.SetEventChar(TextToChar(in.ReadString("EventChar", CharToText(port.EventChar()))));
            port.SetDiscardNull(TextToBool(in.ReadString("DiscardNull", BoolToText(port.DiscardNull()))));
            break;
        case sgParity: {
            TComParity& parity = port.Parity();
            parity.SetCheck(TextToBool(in.ReadString("Parity.Check", BoolToText(parity.Check()))));
            parity.SetReplace(TextToBool(in.ReadString("Parity.Replace", BoolToText(parity.Replace()))));
            parity.SetReplaceChar(TextToChar(in.ReadString("Parity.ReplaceChar", CharToText(parity.ReplaceChar()))));
            break;
        }
        case sgBuffer: {
            TComBuffer& buffer = port.Buffer();
            buffer.SetOutputSize(in.ReadInteger("Buffer.OutputSize", buffer.OutputSize()));
            buffer.SetInputSize(in.ReadInteger("Buffer.InputSize", buffer.InputSize()));
            break;
        }
        case sgTimeouts: {
            TComTimeouts& t = port.Timeouts();
            t.SetReadInterval(in.ReadInteger("Timeouts.ReadInterval", t.ReadInterval()));
            t.SetReadTotalConstant(in.ReadInteger("Timeouts.ReadTotalConstant", t.ReadTotalConstant()));
            t.SetReadTotalMultiplier(in.ReadInteger("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier()));
            t.SetWriteTotalConstant(in.ReadInteger("Timeouts.WriteTotalConstant", t.WriteTotalConstant()));
            t.SetWriteTotalMultiplier(in.ReadInteger("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier()));
            break;
        }
        case sgFlowControl:
            ReadFlowControlDetails(flow, in);
            break;
        }
    }
}

// The component's section of an ini file.
struct IniSection {
    TIniFile& ini;
    QString section;

    void WriteString(const char* name, const QString& value) { ini.WriteString(section, Name(name), value); }
    void WriteInteger(const char* name, std::int32_t value) { ini.WriteInteger(section, Name(name), value); }
    QString ReadString(const char* name, const QString& fallback) const
    {
        return ini.ReadString(section, Name(name), fallback);
    }
    std::int32_t ReadInteger(const char* name, std::int32_t fallback) const
    {
        return ini.ReadInteger(section, Name(name), fallback);
    }
};

// The registry is read without defaults: a missing value gives the
// conversion's fallback.
struct RegistryValues {
    TRegistryKey& key;

    void WriteString(const char* name, const QString& value) { key.WriteString(Name(name), value); }
    void WriteInteger(const char* name, std::int32_t value) { key.WriteInteger(Name(name), value); }
    QString ReadString(const char* name, const QString&) const { return key.ReadString(Name(name)); }
    std::int32_t ReadInteger(const char* name, std::int32_t) const { return key.ReadInteger(Name(name)); }
};

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

// --- ini file ---

struct TIniFile::Data {
    // 8-bit bytes as they stand, duplicate keys kept (the first one counts),
    // values on one line.
    CSimpleIniA ini{false, true, false};
};

TIniFile::TIniFile(const QString& fileName) : data_(std::make_unique<Data>()), fileName_(fileName)
{
    data_->ini.SetSpaces(false);
    const QFileInfo info(fileName);
    if (!info.exists())
        return;
    QByteArray bytes;
    if (!ReadBounded(fileName, MaxFileBytes, bytes)
        || data_->ini.LoadData(bytes.constData(), static_cast<size_t>(bytes.size())) < 0) {
        data_->ini.Reset();
        unreadable_ = true;
    }
}

TIniFile::~TIniFile() = default;

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const char* value = data_->ini.GetValue(section.toLocal8Bit().constData(), key.toLocal8Bit().constData(),
                                            nullptr);
    if (!value)
        return defaultValue;
    return QString::fromLocal8Bit(value, static_cast<qsizetype>(strnlen(value, MaxValueLength)));
}

std::int32_t TIniFile::ReadInteger(const QString& section, const QString& key, std::int32_t defaultValue) const
{
    std::int32_t value = defaultValue;
    return ParseIniInteger(ReadString(section, key, QString()), value) ? value : defaultValue;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    // A line break would start a line of its own in the file.
    QByteArray bytes = value.toLocal8Bit();
    bytes.removeIf([](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    if (data_->ini.SetValue(section.toLocal8Bit().constData(), key.toLocal8Bit().constData(), bytes.constData(),
                            nullptr, true) < 0)
        throw EIniFileException("Unable to write to " + fileName_.toStdString());
}

void TIniFile::WriteInteger(const QString& section, const QString& key, std::int32_t value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::UpdateFile()
{
    const std::string failure = "Unable to write to " + fileName_.toStdString();
    // A file that was there but could not be read would lose its other sections.
    if (unreadable_)
        throw EIniFileException(failure);

    std::string text;
    if (data_->ini.Save(text) < 0)
        throw EIniFileException(failure);
    // The library separates sections with a blank line; profile files have none.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(text.size()));
    for (const QByteArray& line : QByteArray::fromStdString(text).split('\n')) {
        if (!line.isEmpty())
            bytes += line + '\n';
    }

    if (!SaveAtomically(fileName_, bytes))
        throw EIniFileException(failure);
}

bool ParseIniInteger(const QString& text, std::int32_t& value)
{
    const bool hex = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
    if (hex) {
        std::int64_t result = 0;
        for (qsizetype i = 2; i < text.size(); ++i) {
            const int digit = HexDigit(text[i]);
            if (digit < 0)
                return false;
            result = result * 16 + digit;
            if (result > INT32_MAX)
                return false;
        }
        value = static_cast<std::int32_t>(result);
        return true;
    }

    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    if (i == text.size())
        return false;
    const std::int64_t limit = negative ? -std::int64_t{INT32_MIN} : INT32_MAX;
    std::int64_t result = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < '0' || u > '9')
            return false;
        result = result * 10 + (u - '0');
        if (result > limit)
            return false;
    }
    value = static_cast<std::int32_t>(negative ? -result : result);
    return true;
}

// --- registry ---

TRegistryLocation RegistryLocation(const QString& location, const QString& componentName)
{
    TRegistryLocation result;
    const qsizetype slash = location.indexOf(u'\\');
    if (slash < 0)
        return result;
    const QString root = location.left(slash);
    if (root.compare(QLatin1String("HKEY_LOCAL_MACHINE"), Qt::CaseInsensitive) == 0)
        result.Root = TRegistryLocation::HKEY_LOCAL_MACHINE;
    QString key = location.mid(slash + 1);
    if (!key.endsWith(u'\\'))
        key += u'\\';
    result.Key = key + componentName;
    result.Valid = true;
    return result;
}

namespace {
[[noreturn]] void NoRegistry()
{
    throw ERegistryException("There is no registry on this system");
}
}

TRegistryKey::TRegistryKey(const QString& location, const QString& componentName, bool)
    : location_(RegistryLocation(location, componentName))
{
    NoRegistry();
}

void TRegistryKey::WriteString(const QString&, const QString&) { NoRegistry(); }
void TRegistryKey::WriteInteger(const QString&, std::int32_t) { NoRegistry(); }
QString TRegistryKey::ReadString(const QString&) const { NoRegistry(); }
std::int32_t TRegistryKey::ReadInteger(const QString&) const { NoRegistry(); }

// --- the component's settings operations ---

void TCustomComPort::WriteIniSettings(TIniFile& ini)
{
    IniSection out{ini, objectName()};
    WriteSettings(*this, out);
}

void TCustomComPort::ReadIniSettings(TIniFile& ini)
{
    const IniSection in{ini, objectName()};
    ReadSettings(*this, in);
}

void TCustomComPort::WriteRegistrySettings(TRegistryKey& key)
{
    RegistryValues out{key};
    WriteSettings(*this, out);
}

void TCustomComPort::ReadRegistrySettings(TRegistryKey& key)
{
    const RegistryValues in{key};
    ReadSettings(*this, in);
}

void TCustomComPort::SaveSettings(TSettingsStore store, const QString& location)
{
    try {
        if (store == ssIniFile) {
            TIniFile ini(location);
            WriteIniSettings(ini);
            ini.UpdateFile();
        } else {
            TRegistryKey key(location, objectName(), true);
            WriteRegistrySettings(key);
        }
    } catch (...) {
        throw EComPort(peStoreFailed);
    }
}

void TCustomComPort::RestoreSettings(TSettingsStore store, const QString& location)
{
    BeginSettingsUpdate();
    bool failed = false;
    try {
        if (store == ssIniFile) {
            TIniFile ini(location);
            ReadIniSettings(ini);
        } else {
            TRegistryKey key(location, objectName(), false);
            ReadRegistrySettings(key);
        }
    } catch (...) {
        failed = true;
    }
    // Always, so the count is back at 0; an open port gets every setting once.
    try {
        EndSettingsUpdate();
    } catch (...) {
        failed = true;
    }
    if (failed)
        throw EComPort(peLoadFailed);
}
