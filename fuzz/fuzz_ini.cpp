// ComPortTest.ini: any bytes in the file must restore onto a port without a
// crash or a settings update left open, and what is then saved must restore
// into the very same settings, both into a new file and over the old one.
#include "CPort.h"
#include "ScratchFolder.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <unistd.h>

namespace {

QString Folder;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_ini: %s\n", what);
    std::abort();
}

constexpr TSettingsGroups AllGroups = SetOf(sgBasic) | SetOf(sgFlowControl) | SetOf(sgBuffer) | SetOf(sgTimeouts)
                                      | SetOf(sgParity) | SetOf(sgOthers);

auto Snapshot(const TComPort& p)
{
    const TComFlowControl& f = p.FlowControl();
    const TComTimeouts& t = p.Timeouts();
    return std::make_tuple(
        p.Port(), p.BaudRate(), p.CustomBaudRate(), p.StopBits(), p.DataBits(), p.DiscardNull(), p.EventChar(),
        p.Parity().Bits(), p.Parity().Check(), p.Parity().Replace(), p.Parity().ReplaceChar(),
        f.FlowControl(), f.OutCTSFlow(), f.OutDSRFlow(), f.ControlDTR(), f.ControlRTS(), f.XonXoffOut(),
        f.XonXoffIn(), f.DSRSensitivity(), f.TxContinueOnXoff(), f.XonChar(), f.XoffChar(),
        t.ReadInterval(), t.ReadTotalMultiplier(), t.ReadTotalConstant(), t.WriteTotalMultiplier(),
        t.WriteTotalConstant(), p.Buffer().InputSize(), p.Buffer().OutputSize());
}

void WriteAll(const QString& path, const std::uint8_t* data, std::size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != qint64(size))
        Fail("cannot write the scratch ini file");
}

// A fresh port restored from `path` must equal `port`.
void ExpectSame(const TComPort& port, const QString& path, TSettingsGroups groups, const char* what)
{
    TComPort fresh;
    fresh.setObjectName(QStringLiteral("ComPort1"));
    fresh.SetSettingsGroups(groups);
    try {
        fresh.RestoreSettings(ssIniFile, path);
    } catch (const EComPort&) {
        Fail("restoring a file just saved failed");
    }
    if (Snapshot(fresh) != Snapshot(port))
        Fail(what);
}

void RoundTrip(const QString& input, const std::uint8_t* data, std::size_t size, TSettingsGroups groups)
{
    WriteAll(input, data, size);
    TComPort port;
    port.setObjectName(QStringLiteral("ComPort1"));
    port.SetSettingsGroups(groups);
    try {
        port.RestoreSettings(ssIniFile, input);
    } catch (const EComPort&) {
        // A file that cannot be taken may fail the restore; the port must still be usable.
    }
    if (port.SettingsUpdateCount() != 0)
        Fail("RestoreSettings left a settings update open");
    if (port.Connected())
        Fail("RestoreSettings opened the port");

    const QString copy = Folder + QStringLiteral("Saved.ini");
    QFile::remove(copy);
    try {
        port.SaveSettings(ssIniFile, copy);
    } catch (const EComPort&) {
        Fail("saving into a new file failed");
    }
    ExpectSame(port, copy, groups, "a new file does not restore the same settings");

    // The program saves over the file it read; other sections stay, ours must come back.
    bool saved = true;
    try {
        port.SaveSettings(ssIniFile, input);
    } catch (const EComPort&) {
        saved = false; // an unreadable file is never overwritten
    }
    if (saved)
        ExpectSame(port, input, groups, "the file saved over does not restore the same settings");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Folder = MakeScratchFolder("fuzz_ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString input = Folder + QStringLiteral("ComPortTest.ini");
    // The program keeps the basic group only; every group covers all the keys.
    RoundTrip(input, data, size, SetOf(sgBasic));
    RoundTrip(input, data, size, AllGroups);
    return 0;
}
