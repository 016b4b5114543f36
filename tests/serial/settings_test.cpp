#include "CPort.h"
#include "CPortSettings.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {


QList<QByteArray> Lines(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The names of the keys in the file, in file order.
QStringList KeyNames(const QByteArray& text)
{
    QStringList names;
    for (const QByteArray& line : Lines(text)) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            names << QString::fromLatin1(line.left(eq));
    }
    return names;
}

constexpr TSettingsGroups AllGroups = 0x3F;

// Sets every setting of every group away from its default.
void SetEverything(TCustomComPort& port)
{
    port.SetPort("COM4");
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(250000);
    port.SetStopBits(sbTwoStopBits);
    port.SetDataBits(dbSeven);
    port.Parity().SetBits(prEven);
    port.Parity().SetCheck(true);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar(' ');
    port.SetEventChar('\n');
    port.SetDiscardNull(true);
    port.Buffer().SetOutputSize(4096);
    port.Buffer().SetInputSize(8192);
    port.Timeouts().SetReadInterval(5);
    port.Timeouts().SetReadTotalConstant(6);
    port.Timeouts().SetReadTotalMultiplier(7);
    port.Timeouts().SetWriteTotalConstant(8);
    port.Timeouts().SetWriteTotalMultiplier(9);
    TComFlowControl& flow = port.FlowControl();
    flow.SetControlRTS(rtsToggle);
    flow.SetControlDTR(dtrHandshake);
    flow.SetDSRSensitivity(true);
    flow.SetOutCTSFlow(true);
    flow.SetOutDSRFlow(true);
    flow.SetTxContinueOnXoff(true);
    flow.SetXonXoffIn(true);
    flow.SetXonXoffOut(false);
    flow.SetXoffChar('\xC8');
    flow.SetXonChar('A');
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void defaultsWriteSevenLines();
    void portAndRateRoundTrip();
    void everyGroupRoundTripsInKeyOrder();
    void basicValues_data();
    void basicValues();
    void flowControlPreset_data();
    void flowControlPreset();
    void otherSectionsAndGroupsKept();
    void unreadableContent_data();
    void unreadableContent();
    void unreadablePathKeptAtSave_data();
    void unreadablePathKeptAtSave();
    void failedSave_data();
    void failedSave();
    void changedPortReopensOpenPort();
    void failedRestoreKeepsWhatWasRead();
    void registryStoreRefused();
    void registryLocation_data();
    void registryLocation();
    void iniInteger_data();
    void iniInteger();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

void SettingsTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    path_ = dir_->filePath("ComPortTest.ini");
}

void SettingsTest::defaultsWriteSevenLines()
{
    TComPort port;
    port.setObjectName("ComPort1");
    port.SaveSettings(ssIniFile, path_);
    QCOMPARE(ReadAll(path_),
             QByteArray("[ComPort1]\nPort=COM1\nBaudRate=9600\nStopBits=1\nDataBits=8\nParity=None\nFlowControl=None\n"));
}

void SettingsTest::portAndRateRoundTrip()
{
    TComPort saved;
    saved.setObjectName("ComPort1");
    saved.SetPort("COM3");
    saved.SetBaudRate(br19200);
    saved.SaveSettings(ssIniFile, path_);
    const QList<QByteArray> lines = Lines(ReadAll(path_));
    QVERIFY(lines.contains("Port=COM3"));
    QVERIFY(lines.contains("BaudRate=19200"));
    QVERIFY(!lines.contains("CustomBaudRate=9600"));

    TComPort restored;
    restored.setObjectName("ComPort1");
    restored.RestoreSettings(ssIniFile, path_);
    QCOMPARE(restored.Port(), QString("COM3"));
    QCOMPARE(restored.BaudRate(), br19200);
    QCOMPARE(restored.SettingsUpdateCount(), 0);
}

void SettingsTest::everyGroupRoundTripsInKeyOrder()
{
    TComPort saved;
    saved.setObjectName("ComPort1");
    saved.SetSettingsGroups(AllGroups);
    SetEverything(saved);
    saved.SaveSettings(ssIniFile, path_);

    const QByteArray text = ReadAll(path_);
    const QStringList expectedKeys{
        "Port", "BaudRate", "CustomBaudRate", "StopBits", "DataBits", "Parity", "FlowControl",
        "EventChar", "DiscardNull",
        "Parity.Check", "Parity.Replace", "Parity.ReplaceChar",
        "Buffer.OutputSize", "Buffer.InputSize",
        "Timeouts.ReadInterval", "Timeouts.ReadTotalConstant", "Timeouts.ReadTotalMultiplier",
        "Timeouts.WriteTotalConstant", "Timeouts.WriteTotalMultiplier",
        "FlowControl.ControlRTS", "FlowControl.ControlDTR", "FlowControl.DSRSensitivity",
        "FlowControl.OutCTSFlow", "FlowControl.OutDSRFlow", "FlowControl.TxContinueOnXoff",
        "FlowControl.XonXoffIn", "FlowControl.XonXoffOut", "FlowControl.XoffChar", "FlowControl.XonChar"};
    QCOMPARE(KeyNames(text), expectedKeys);
    const QList<QByteArray> lines = Lines(text);
    QVERIFY(lines.contains("BaudRate=Custom"));
    QVERIFY(lines.contains("CustomBaudRate=250000"));
    QVERIFY(lines.contains("EventChar=#10"));
    QVERIFY(lines.contains("Parity.ReplaceChar=#32"));
    QVERIFY(lines.contains("FlowControl.XoffChar=#200"));
    QVERIFY(lines.contains("FlowControl.XonChar=A"));
    QVERIFY(lines.contains("FlowControl=Custom"));

    TComPort restored;
    restored.setObjectName("ComPort1");
    restored.SetSettingsGroups(AllGroups);
    restored.RestoreSettings(ssIniFile, path_);
    QCOMPARE(restored.Port(), saved.Port());
    QCOMPARE(restored.BaudRate(), brCustom);
    QCOMPARE(restored.CustomBaudRate(), 250000);
    QCOMPARE(restored.StopBits(), sbTwoStopBits);
    QCOMPARE(restored.DataBits(), dbSeven);
    QCOMPARE(restored.Parity().Bits(), prEven);
    QCOMPARE(restored.Parity().Check(), true);
    QCOMPARE(restored.Parity().Replace(), true);
    QCOMPARE(restored.Parity().ReplaceChar(), ' ');
    QCOMPARE(restored.EventChar(), '\n');
    QCOMPARE(restored.DiscardNull(), true);
    QCOMPARE(restored.Buffer().OutputSize(), 4096);
    QCOMPARE(restored.Buffer().InputSize(), 8192);
    QCOMPARE(restored.Timeouts().ReadInterval(), 5);
    QCOMPARE(restored.Timeouts().ReadTotalConstant(), 6);
    QCOMPARE(restored.Timeouts().ReadTotalMultiplier(), 7);
    QCOMPARE(restored.Timeouts().WriteTotalConstant(), 8);
    QCOMPARE(restored.Timeouts().WriteTotalMultiplier(), 9);
    const TComFlowControl& flow = restored.FlowControl();
    QCOMPARE(flow.ControlRTS(), rtsToggle);
    QCOMPARE(flow.ControlDTR(), dtrHandshake);
    QCOMPARE(flow.DSRSensitivity(), true);
    QCOMPARE(flow.OutCTSFlow(), true);
    QCOMPARE(flow.OutDSRFlow(), true);
    QCOMPARE(flow.TxContinueOnXoff(), true);
    QCOMPARE(flow.XonXoffIn(), true);
    QCOMPARE(flow.XonXoffOut(), false);
    QCOMPARE(flow.XoffChar(), '\xC8');
    QCOMPARE(flow.XonChar(), 'A');

    // Saving what was restored gives the same file.
    restored.SaveSettings(ssIniFile, path_);
    QCOMPARE(ReadAll(path_), text);
}

// Restored over a port whose basic settings all differ from the defaults.
void SettingsTest::basicValues_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("custom");
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("parity");

    QTest::newRow("no file keeps everything") << QByteArray() << "COM9" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("other section only keeps everything") << QByteArray("[ComPort2]\nPort=COM5\n") << "COM9" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("custom in lower case, no CustomBaudRate")
        << QByteArray("[ComPort1]\nBaudRate=custom\n") << "COM9" << int(brCustom) << 9600 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("CUSTOM with CustomBaudRate")
        << QByteArray("[ComPort1]\nBaudRate=CUSTOM\nCustomBaudRate=250000\n") << "COM9" << int(brCustom) << 250000 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("CustomBaudRate in hexadecimal")
        << QByteArray("[ComPort1]\nBaudRate=Custom\nCustomBaudRate=0x3D090\n") << "COM9" << int(brCustom) << 250000 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("CustomBaudRate not a number")
        << QByteArray("[ComPort1]\nBaudRate=Custom\nCustomBaudRate=fast\n") << "COM9" << int(brCustom) << 9600 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("CustomBaudRate ignored without custom rate")
        << QByteArray("[ComPort1]\nBaudRate=57600\nCustomBaudRate=1234\n") << "COM9" << int(br57600) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("BaudRate 9601 falls back to 9600")
        << QByteArray("[ComPort1]\nBaudRate=9601\n") << "COM9" << int(br9600) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("StopBits 3 falls back to one")
        << QByteArray("[ComPort1]\nStopBits=3\n") << "COM9" << int(br19200) << 4800 << int(sbOneStopBit) << int(dbSeven) << int(prOdd);
    QTest::newRow("StopBits 1.5")
        << QByteArray("[ComPort1]\nStopBits=1.5\n") << "COM9" << int(br19200) << 4800 << int(sbOne5StopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("DataBits 9 falls back to eight")
        << QByteArray("[ComPort1]\nDataBits=9\n") << "COM9" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbEight) << int(prOdd);
    QTest::newRow("Parity in other case")
        << QByteArray("[ComPort1]\nParity=EVEN\n") << "COM9" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prEven);
    QTest::newRow("section and keys in other case")
        << QByteArray("[comport1]\nPORT=COM7\nbaudrate=115200\n") << "COM7" << int(br115200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("blanks around key and value")
        << QByteArray("[ComPort1]\n  Port =  COM6  \n") << "COM6" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("empty Port")
        << QByteArray("[ComPort1]\nPort=\n") << "" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("device path as Port")
        << QByteArray("[ComPort1]\nPort=/dev/ttyUSB0\n") << "/dev/ttyUSB0" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("duplicate key, first counts")
        << QByteArray("[ComPort1]\nPort=COM2\nPort=COM3\n") << "COM2" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("huge value cut at 2047")
        << QByteArray("[ComPort1]\nPort=" + QByteArray(5000, 'p') + "\n") << QString(2047, u'p') << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
    QTest::newRow("unknown key ignored")
        << QByteArray("[ComPort1]\nSpeed=fast\nStopBits=2\n") << "COM9" << int(br19200) << 4800 << int(sbTwoStopBits) << int(dbSeven) << int(prOdd);
}

void SettingsTest::basicValues()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(int, custom);
    QFETCH(int, stop);
    QFETCH(int, data);
    QFETCH(int, parity);

    if (!content.isEmpty())
        WriteAll(path_, content);
    TComPort com;
    com.setObjectName("ComPort1");
    com.SetPort("COM9");
    com.SetBaudRate(br19200);
    com.SetCustomBaudRate(4800);
    com.SetStopBits(sbTwoStopBits);
    com.SetDataBits(dbSeven);
    com.Parity().SetBits(prOdd);

    com.RestoreSettings(ssIniFile, path_);
    QCOMPARE(com.Port(), port);
    QCOMPARE(int(com.BaudRate()), baud);
    QCOMPARE(com.CustomBaudRate(), custom);
    QCOMPARE(int(com.StopBits()), stop);
    QCOMPARE(int(com.DataBits()), data);
    QCOMPARE(int(com.Parity().Bits()), parity);
    QCOMPARE(com.SettingsUpdateCount(), 0);
}

void SettingsTest::flowControlPreset_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("preset");
    QTest::addColumn<int>("rts");
    QTest::addColumn<bool>("cts");
    QTest::addColumn<bool>("xonIn");
    QTest::addColumn<bool>("xonOut");

    // The port starts with custom details: RTS enabled, CTS flow and XON/XOFF in on.
    QTest::newRow("xyz keeps the details") << QByteArray("xyz") << int(fcCustom) << int(rtsEnable) << true << true << false;
    QTest::newRow("missing keeps the details") << QByteArray() << int(fcCustom) << int(rtsEnable) << true << true << false;
    QTest::newRow("hardware in lower case") << QByteArray("hardware") << int(fcHardware) << int(rtsHandshake) << true << false << false;
    QTest::newRow("Software") << QByteArray("Software") << int(fcSoftware) << int(rtsDisable) << false << true << true;
    QTest::newRow("None") << QByteArray("None") << int(fcNone) << int(rtsDisable) << false << false << false;
}

void SettingsTest::flowControlPreset()
{
    QFETCH(QByteArray, value);
    QFETCH(int, preset);
    QFETCH(int, rts);
    QFETCH(bool, cts);
    QFETCH(bool, xonIn);
    QFETCH(bool, xonOut);

    WriteAll(path_, value.isNull() ? QByteArray("[ComPort1]\n") : "[ComPort1]\nFlowControl=" + value + "\n");
    TComPort com;
    com.setObjectName("ComPort1");
    com.FlowControl().SetControlRTS(rtsEnable);
    com.FlowControl().SetOutCTSFlow(true);
    com.FlowControl().SetXonXoffIn(true);

    com.RestoreSettings(ssIniFile, path_);
    QCOMPARE(int(com.FlowControl().FlowControl()), preset);
    QCOMPARE(int(com.FlowControl().ControlRTS()), rts);
    QCOMPARE(com.FlowControl().OutCTSFlow(), cts);
    QCOMPARE(com.FlowControl().XonXoffIn(), xonIn);
    QCOMPARE(com.FlowControl().XonXoffOut(), xonOut);
}

void SettingsTest::otherSectionsAndGroupsKept()
{
    WriteAll(path_, "; kept comment\n[Other]\na=1\n[ComPort1]\nPort=COM2\nTimeouts.ReadInterval=55\n"
                    "FlowControl.XonChar=#20\nBaudRate=4800\n[Last]\nb=2\n");
    TComPort com;
    com.setObjectName("ComPort1");
    com.RestoreSettings(ssIniFile, path_);
    QCOMPARE(com.Port(), QString("COM2"));
    QCOMPARE(com.BaudRate(), br4800);
    QCOMPARE(com.Timeouts().ReadInterval(), -1);
    QCOMPARE(com.FlowControl().XonChar(), '\x11');

    com.SetPort("COM5");
    com.SaveSettings(ssIniFile, path_);
    QCOMPARE(ReadAll(path_),
             QByteArray("; kept comment\n[Other]\na=1\n[ComPort1]\nPort=COM5\nTimeouts.ReadInterval=55\n"
                        "FlowControl.XonChar=#20\nBaudRate=4800\nStopBits=1\nDataBits=8\nParity=None\n"
                        "FlowControl=None\n[Last]\nb=2\n"));
}

// Nothing in the file can stop the start: the port keeps its values, and the
// next save still writes a file that restores what was saved.
void SettingsTest::unreadableContent_data()
{
    QTest::addColumn<QByteArray>("content");

    QByteArray binary(64 * 1024, '\0');
    QRandomGenerator random(20261209);  // seeded: the same bytes on every run
    for (char& c : binary)
        c = char(random.bounded(256));
    QTest::newRow("garbage text") << QByteArray("]]][[[=\n=\n==x\n[\n[ComPort1\nPort\n");
    QTest::newRow("binary") << binary;
    QTest::newRow("binary inside the section") << "[ComPort1]\nBaudRate=" + binary.left(100) + "\n";
    QTest::newRow("10 MB line") << "[ComPort1]\n" + QByteArray(10 * 1024 * 1024, 'z') + "\n";
    QTest::newRow("10 MB value") << "[ComPort1]\nStopBits=" + QByteArray(10 * 1024 * 1024, '2') + "\n";
    QTest::newRow("CR LF line ends") << QByteArray("[ComPort1]\r\nSpeed=1\r\n");
}

void SettingsTest::unreadableContent()
{
    QFETCH(QByteArray, content);
    WriteAll(path_, content);

    TComPort com;
    com.setObjectName("ComPort1");
    com.SetPort("COM9");
    com.SetStopBits(sbTwoStopBits);
    com.RestoreSettings(ssIniFile, path_);
    QCOMPARE(com.Port(), QString("COM9"));
    QCOMPARE(com.StopBits(), content.contains("StopBits") ? sbOneStopBit : sbTwoStopBits);
    QVERIFY(com.BaudRate() == br9600 || content.contains("BaudRate"));

    com.SetPort("COM8");
    com.SetBaudRate(br38400);
    com.SaveSettings(ssIniFile, path_);
    TComPort again;
    again.setObjectName("ComPort1");
    again.RestoreSettings(ssIniFile, path_);
    QCOMPARE(again.Port(), QString("COM8"));
    QCOMPARE(again.BaudRate(), br38400);
}

// A path that cannot be read as a file restores nothing (a FIFO does not
// block the start) and is never replaced.
void SettingsTest::unreadablePathKeptAtSave_data()
{
    QTest::addColumn<bool>("fifo");
    QTest::newRow("folder") << false;
    QTest::newRow("FIFO") << true;
}

void SettingsTest::unreadablePathKeptAtSave()
{
    QFETCH(bool, fifo);
    if (fifo)
        QCOMPARE(mkfifo(QFile::encodeName(path_).constData(), 0600), 0);
    else
        QVERIFY(QDir(dir_->path()).mkdir("ComPortTest.ini"));

    TComPort com;
    com.setObjectName("ComPort1");
    com.SetPort("COM9");
    com.RestoreSettings(ssIniFile, path_);
    QCOMPARE(com.Port(), QString("COM9"));
    try {
        com.SaveSettings(ssIniFile, path_);
        QFAIL("saving over something that is not a file succeeded");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, std::int32_t(peStoreFailed));
    }
    const QFileInfo info(path_);
    QVERIFY(info.exists() && !info.isFile());
}

void SettingsTest::failedSave_data()
{
    QTest::addColumn<bool>("parentIsFile");
    QTest::newRow("folder is a regular file") << true;
    QTest::newRow("write cut short, as on a full disk") << false;
}

void SettingsTest::failedSave()
{
    QFETCH(bool, parentIsFile);

    const QByteArray old("[Other]\na=1\n[ComPort1]\nPort=COM2\n");
    QString path = path_;
    if (parentIsFile) {
        WriteAll(dir_->filePath("blocker"), old); // root may write anywhere, but not below a file
        path = dir_->filePath("blocker/ComPortTest.ini");
    } else {
        WriteAll(path_, old);
    }

    TComPort com;
    com.setObjectName("ComPort1");
    com.SetPort(QString(4096, u'x')); // more than the size limit below lets through
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    if (!parentIsFile)
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::int32_t code = 0;
    try {
        com.SaveSettings(ssIniFile, path);
    } catch (const EComPort& e) {
        code = e.PortErrorCode;
        QCOMPARE(e.SystemErrorCode, -1);
        QCOMPARE(e.Message(), QString("Failed to store settings"));
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(code, std::int32_t(peStoreFailed));
    const QString survivor = parentIsFile ? dir_->filePath("blocker") : path_;
    QCOMPARE(ReadAll(survivor), old);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void SettingsTest::changedPortReopensOpenPort()
{
    PtyPair first;
    PtyPair second;
    QVERIFY(first.IsOpen() && second.IsOpen());
    WriteAll(path_, "[ComPort1]\nPort=" + second.SlavePath().toLocal8Bit() + "\n");

    TComPort com;
    com.setObjectName("ComPort1");
    com.SetPort(first.SlavePath());
    com.OpenPort();
    com.RestoreSettings(ssIniFile, path_);
    QVERIFY(com.Connected());
    QCOMPARE(com.Port(), second.SlavePath());

    // The reopened port is the second device.
    QCOMPARE(com.WriteText("hi"), 2);
    QCOMPARE(second.ReadExactly(2), QByteArray("hi"));
    com.ClosePort();
}

void SettingsTest::failedRestoreKeepsWhatWasRead()
{
    PtyPair pty;
    QVERIFY(pty.IsOpen());
    const QString missing = dir_->filePath("no-such-device");
    WriteAll(path_, "[ComPort1]\nPort=" + missing.toLocal8Bit() + "\nBaudRate=19200\n");

    TComPort com;
    com.setObjectName("ComPort1");
    com.SetPort(pty.SlavePath());
    com.OpenPort();
    std::int32_t code = 0;
    try {
        com.RestoreSettings(ssIniFile, path_);
    } catch (const EComPort& e) {
        code = e.PortErrorCode;
        QCOMPARE(e.SystemErrorCode, -1);
    }
    QCOMPARE(code, std::int32_t(peLoadFailed));
    QCOMPARE(com.Port(), missing);     // read before the failure: kept
    QCOMPARE(com.BaudRate(), br9600);  // after it: never read
    QCOMPARE(com.SettingsUpdateCount(), 0);
    com.ClosePort();
}

void SettingsTest::registryStoreRefused()
{
    TComPort com;
    com.setObjectName("ComPort1");
    com.SetPort("COM9");
    const QString location = "HKEY_CURRENT_USER\\Software\\Scale";
    try {
        com.SaveSettings(ssRegistry, location);
        QFAIL("the registry store saved");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, std::int32_t(peStoreFailed));
    }
    try {
        com.RestoreSettings(ssRegistry, location);
        QFAIL("the registry store restored");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, std::int32_t(peLoadFailed));
    }
    QCOMPARE(com.Port(), QString("COM9"));
    QCOMPARE(com.SettingsUpdateCount(), 0);
}

void SettingsTest::registryLocation_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("root");
    QTest::addColumn<QString>("key");

    QTest::newRow("local machine") << "HKEY_LOCAL_MACHINE\\Software\\Scale" << true << int(TRegistryLocation::HKEY_LOCAL_MACHINE) << "Software\\Scale\\ComPort1";
    QTest::newRow("root in lower case") << "hkey_local_machine\\Software" << true << int(TRegistryLocation::HKEY_LOCAL_MACHINE) << "Software\\ComPort1";
    QTest::newRow("current user, trailing backslash") << "HKEY_CURRENT_USER\\Software\\" << true << int(TRegistryLocation::HKEY_CURRENT_USER) << "Software\\ComPort1";
    QTest::newRow("unknown root is the current user") << "HKEY_USERS\\x" << true << int(TRegistryLocation::HKEY_CURRENT_USER) << "x\\ComPort1";
    QTest::newRow("split at the first backslash") << "HKEY_LOCAL_MACHINE\\a\\b\\c" << true << int(TRegistryLocation::HKEY_LOCAL_MACHINE) << "a\\b\\c\\ComPort1";
    QTest::newRow("no backslash names no key") << "Software" << false << int(TRegistryLocation::HKEY_CURRENT_USER) << "";
}

void SettingsTest::registryLocation()
{
    QFETCH(QString, location);
    QFETCH(bool, valid);
    QFETCH(int, root);
    QFETCH(QString, key);

    const TRegistryLocation result = RegistryLocation(location, "ComPort1");
    QCOMPARE(result.Valid, valid);
    QCOMPARE(int(result.Root), root);
    QCOMPARE(result.Key, key);
}

void SettingsTest::iniInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<int>("value");

    QTest::newRow("decimal") << "1024" << true << 1024;
    QTest::newRow("negative") << "-1" << true << -1;
    QTest::newRow("0x hexadecimal") << "0x400" << true << 1024;
    QTest::newRow("0X hexadecimal") << "0XfF" << true << 255;
    QTest::newRow("0x alone is not three characters") << "0x" << false << 0;
    QTest::newRow("0x without digits after") << "0xg" << false << 0;
    QTest::newRow("dollar is not hexadecimal here") << "$10" << false << 0;
    QTest::newRow("hex digits without prefix") << "1F" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("largest") << "2147483647" << true << 2147483647;
    QTest::newRow("above largest") << "2147483648" << false << 0;
    QTest::newRow("smallest") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("hexadecimal above largest") << "0x80000000" << false << 0;
}

void SettingsTest::iniInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, parses);
    QFETCH(int, value);

    std::int32_t result = 77;
    QCOMPARE(ParseIniInteger(text, result), parses);
    QCOMPARE(result, parses ? value : 77);
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
