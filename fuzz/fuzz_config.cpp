// config.xml: any bytes in the file must load quickly into a small document,
// and what is saved must load back into the very same settings.
#include "AppFolder.h"
#include "Global.h"
#include "ScratchFolder.h"
#include "XMLConfig.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

QString Folder;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_config: %s\n", what);
    std::abort();
}

struct Settings {
    std::int8_t connectionKind;
    QString ethHost;
    std::int8_t ethProtocol;
    std::int32_t ethPort;
    QString ordersFileName;
    bool windRow;
    std::int8_t windRowMode;
    QString windRowChar;
    bool saveASCII;
    bool insertTime;
    bool changePointToColon;

    static Settings Current()
    {
        return {ConnectionKind, EthHost, EthProtocol, EthPort, OrdersFileName, WindRow,
                WindRowMode, WindRowChar, SaveASCII, InsertTime, ChangePointToColon};
    }
    bool operator==(const Settings&) const = default;
};

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        Fail("cannot write the scratch config.xml");
}

// Start, as the program does it.
Settings Load(TXMLDocument& doc)
{
    ResetGlobals();
    EnsureConfigDefaults(doc);
    LoadConfig(doc);
    return Settings::Current();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Folder = MakeScratchFolder("fuzz_config");
    SetAppFolder(Folder);
    // A declaration naming an encoding Qt cannot write makes it warn on every input.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = Folder + QStringLiteral("config.xml");
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    WriteAll(path, input);

    TXMLDocument doc;
    doc.FileName = path;
    const Settings loaded = Load(doc);

    // Entities must not blow a small file up: what is held is the file's own
    // text plus the default keys, give or take the markup.
    const qsizetype held = doc.Dom.toByteArray(-1).size();
    if (held > 4096 + 8 * input.size())
        Fail("the loaded document is far larger than the file");

    SaveConfig(doc);
    const QByteArray saved = ReadAll(path);
    if (saved.isEmpty())
        Fail("SaveConfig wrote nothing");

    // What the close writes is what the next start reads.
    Settings expected = loaded;
    if (expected.windRowMode < 0)
        expected.windRowMode = 0;
    if (expected.ethHost.isEmpty())
        expected.ethHost = QStringLiteral("192.168.1.100");
    if (expected.ethPort <= 0)
        expected.ethPort = 1001;

    TXMLDocument again;
    again.FileName = path;
    const Settings reloaded = Load(again);
    if (!(reloaded == expected)) {
        std::fprintf(stderr, "host [%s] -> [%s]\norders [%s] -> [%s]\nchar [%s] -> [%s]\n",
                     qPrintable(expected.ethHost), qPrintable(reloaded.ethHost),
                     qPrintable(expected.ordersFileName), qPrintable(reloaded.ordersFileName),
                     qPrintable(expected.windRowChar), qPrintable(reloaded.windRowChar));
        Fail("the saved file does not load back into the same settings");
    }

    // And a second close changes nothing more.
    SaveConfig(again);
    if (ReadAll(path) != saved)
        Fail("saving the reloaded document gives another file");
    return 0;
}
