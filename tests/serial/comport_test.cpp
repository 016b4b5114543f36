#include "CPort.h"
#include "SerialTermios.h"
#include "TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
// Our own descriptor of the pty slave, opened before the port takes it for
// itself, to read back what the port set.
class SlaveView {
public:
    explicit SlaveView(const QString& path) : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~SlaveView() { if (fd_ >= 0) ::close(fd_); }
    termios2 Get() const
    {
        termios2 t{};
        ::ioctl(fd_, TCGETS2, &t);
        return t;
    }
    bool Valid() const { return fd_ >= 0; }

private:
    int fd_;
};

}

class ComPortTest : public QObject {
    Q_OBJECT
private slots:
    void lineSettingsReachDevice_data();
    void lineSettingsReachDevice();
    void changeWhileOpenReachesDevice();
    void settingsUpdateDefers();
    void refusedSettingLeavesPortClosed();
    void writtenBytesArriveExactly();
    void waitingBytesAreRead();
    void writeGivesUpAtTotalTimeout();
    void hungUpDeviceFailsWrite();
    void queuedTextsGoOutWholeInOrder();
    void stalledTextFailsThePort();
    void secondOpenOfSameDeviceFails();
    void missingDeviceReportsErrno();
    void failedOpenNamesItsCause_data();
    void failedOpenNamesItsCause();
    void regularFileIsNoPort();
    void renameWhileOpenReopens();
    void emptyEventsStartsNoThread();
    void syncMethodRefusedWhileOpen();
    void destructionReleasesDevice();
};

void ComPortTest::lineSettingsReachDevice_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("custom");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("flow");
    QTest::addColumn<uint>("speed");
    // A pty keeps 8 data bits and no parity enable whatever it is told; the
    // rest reads back. (The struct mapping test covers CSIZE and PARENB.)
    QTest::addColumn<uint>("cflag"); // within PARODD | CMSPAR | CSTOPB | CRTSCTS
    QTest::addColumn<uint>("iflag"); // within IXON | IXOFF
    QTest::newRow("defaults 9600 8N1") << int(br9600) << 0 << int(dbEight) << int(prNone) << int(sbOneStopBit)
                                       << int(fcNone) << 9600u << 0u << 0u;
    QTest::newRow("7E2 with XON/XOFF") << int(br19200) << 0 << int(dbSeven) << int(prEven) << int(sbTwoStopBits)
                                       << int(fcSoftware) << 19200u << uint(CSTOPB)
                                       << uint(IXON | IXOFF);
    QTest::newRow("mark parity with RTS/CTS") << int(br115200) << 0 << int(dbEight) << int(prMark)
                                              << int(sbOneStopBit) << int(fcHardware) << 115200u
                                              << uint(PARODD | CMSPAR | CRTSCTS) << 0u;
    QTest::newRow("rate without a constant") << int(br56000) << 0 << int(dbEight) << int(prNone)
                                             << int(sbOneStopBit) << int(fcNone) << 56000u << 0u << 0u;
    QTest::newRow("custom rate") << int(brCustom) << 31250 << int(dbEight) << int(prSpace) << int(sbOneStopBit)
                                 << int(fcNone) << 31250u << uint(CMSPAR) << 0u;
}

void ComPortTest::lineSettingsReachDevice()
{
    QFETCH(int, baud);
    QFETCH(int, custom);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, flow);
    QFETCH(uint, speed);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    PtyPair pty;
    QVERIFY(pty.IsOpen());
    SlaveView view(pty.SlavePath());
    QVERIFY(view.Valid());

    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.SlavePath());
    port.SetBaudRate(static_cast<TBaudRate>(baud));
    if (custom)
        port.SetCustomBaudRate(custom);
    port.SetDataBits(static_cast<TDataBits>(dataBits));
    port.Parity().SetBits(static_cast<TParityBits>(parity));
    port.SetStopBits(static_cast<TStopBits>(stopBits));
    port.FlowControl().SetFlowControl(static_cast<TFlowControl>(flow));
    port.OpenPort();
    QVERIFY(port.Connected());

    const termios2 t = view.Get();
    QCOMPARE(uint(t.c_ospeed), speed);
    QCOMPARE(uint(t.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS)), cflag);
    QCOMPARE(uint(t.c_iflag & (IXON | IXOFF)), iflag);
    QCOMPARE(t.c_lflag & (ICANON | ECHO), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
}

void ComPortTest::changeWhileOpenReachesDevice()
{
    PtyPair pty;
    SlaveView view(pty.SlavePath());
    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.SlavePath());
    port.OpenPort();
    port.SetBaudRate(br38400);
    QCOMPARE(uint(view.Get().c_ospeed), 38400u);
    port.FlowControl().SetXonChar('A');
    QCOMPARE(view.Get().c_cc[VSTART], cc_t('A'));
    port.Parity().SetBits(prOdd);
    QCOMPARE(uint(view.Get().c_cflag & PARODD), uint(PARODD));
}

void ComPortTest::settingsUpdateDefers()
{
    PtyPair pty;
    SlaveView view(pty.SlavePath());
    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.SlavePath());
    port.OpenPort();

    port.BeginSettingsUpdate();
    port.BeginSettingsUpdate();
    port.SetBaudRate(br19200);
    port.SetStopBits(sbTwoStopBits);
    QCOMPARE(uint(view.Get().c_ospeed), 9600u);
    QCOMPARE(uint(view.Get().c_cflag & CSTOPB), 0u);
    port.EndSettingsUpdate();
    QCOMPARE(port.SettingsUpdateCount(), 1);
    QCOMPARE(uint(view.Get().c_ospeed), 9600u);
    port.EndSettingsUpdate();
    QCOMPARE(port.SettingsUpdateCount(), 0);
    QCOMPARE(uint(view.Get().c_ospeed), 19200u);
    QCOMPARE(uint(view.Get().c_cflag & CSTOPB), uint(CSTOPB));

    port.EndSettingsUpdate(); // unmatched: ignored
    QCOMPARE(port.SettingsUpdateCount(), 0);
}

void ComPortTest::refusedSettingLeavesPortClosed()
{
    PtyPair pty;
    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.SlavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(0);
    try {
        port.OpenPort();
        QFAIL("a rate of 0 was accepted");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, 7);
        QVERIFY(e.SystemErrorCode > 0);
    }
    QVERIFY(!port.Connected());
    // The device was let go: it opens again once the rate is sane.
    port.SetCustomBaudRate(4800);
    port.OpenPort();
    QVERIFY(port.Connected());
}

void ComPortTest::writtenBytesArriveExactly()
{
    PtyPair pty;
    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.SlavePath());
    port.OpenPort();

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    all += "Sr1;Apple;1.25\r\n";
    QCOMPARE(port.WriteText(all), int(all.size()));
    QCOMPARE(pty.ReadExactly(int(all.size())), all);
    QCOMPARE(port.WriteText(QByteArray()), 0);
}

void ComPortTest::waitingBytesAreRead()
{
    PtyPair pty;
    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.SlavePath());
    port.OpenPort();

    QByteArray text("stale");
    QCOMPARE(port.ReadText(text, 10), 0); // nothing waits: no blocking
    QVERIFY(text.isEmpty());

    pty.Write(QByteArray("Mb\0P\r\n", 6));
    QTRY_COMPARE(port.InputQueueCount(), 6);
    QCOMPARE(port.ReadText(text, 2), 2);
    QCOMPARE(text, QByteArray("Mb"));
    QCOMPARE(port.ReadText(text, 0), 0);
    QVERIFY(text.isEmpty());
    QCOMPARE(port.ReadText(text, 100), 4);
    QCOMPARE(text, QByteArray("\0P\r\n", 4));
    QCOMPARE(port.InputQueueCount(), 0);
}

void ComPortTest::writeGivesUpAtTotalTimeout()
{
    PtyPair pty; // nobody reads the master, so the pty fills up
    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.SlavePath());
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(50);
    port.OpenPort();
    const QByteArray big(4 * 1024 * 1024, 'x');
    const std::int32_t written = port.WriteText(big);
    QVERIFY(written > 0);
    QVERIFY(written < big.size());
}

void ComPortTest::hungUpDeviceFailsWrite()
{
    PtyPair pty;
    TComPort port;
    port.SetEvents(0);
    port.SetPort(pty.SlavePath());
    port.OpenPort();
    pty.CloseMaster();
    try {
        port.WriteText("Se\r\n");
        QFAIL("write to a hung-up device succeeded");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, 2);
        QCOMPARE(e.SystemErrorCode, EIO);
    }
    QVERIFY(port.Connected());
    port.ClosePort();
    QVERIFY(!port.Connected());
}

// More than the pty holds: the event thread writes the rest as the test
// reads, and a text queued meanwhile follows it whole.
void ComPortTest::queuedTextsGoOutWholeInOrder()
{
    PtyPair pty;
    TComPort port;
    int txEmpty = 0;
    port.OnTxEmpty = [&](TCustomComPort*) { ++txEmpty; };
    port.SetPort(pty.SlavePath());
    port.OpenPort();
    const QByteArray big = QByteArray("Sr") + QByteArray(1024 * 1024, 'x') + "\r\n";
    QVERIFY(port.QueueText(big) < big.size());
    QVERIFY(port.WritePending());
    QCOMPARE(port.QueueText("Se\r\n"), 0);
    QCOMPARE(pty.ReadExactly(int(big.size()) + 4, 20000), big + "Se\r\n");
    QTRY_VERIFY(!port.WritePending());
    QTRY_COMPARE(txEmpty, 1);
    QVERIFY(!port.AbandonWrite());
    QVERIFY(port.Connected());
}

// Nobody reads the pty: the text cannot go out in its time, the port fails
// with the cause and how far the text got, and nothing follows the cut text.
void ComPortTest::stalledTextFailsThePort()
{
    PtyPair pty;
    TComPort port;
    QList<TWriteStop> stops;
    int lost = 0;
    port.OnWriteStopped = [&](TCustomComPort*, const TWriteStop& stop) { stops << stop; };
    port.OnDeviceLost = [&](TCustomComPort*) { ++lost; };
    port.SetPort(pty.SlavePath());
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(200);
    port.OpenPort();
    const QByteArray big(1024 * 1024, 'x');
    const std::int32_t now = port.QueueText(big);
    QCOMPARE(port.QueueText("Se\r\n"), 0);  // waits behind the first
    QTRY_COMPARE(lost, 1);
    QCOMPARE(port.LastCause, QStringLiteral("the device stopped taking data (flow control?)"));
    QCOMPARE(stops.size(), 1);
    QCOMPARE(stops[0].Text, big);
    QVERIFY(stops[0].Written >= now && stops[0].Written < big.size());
    QVERIFY(!port.WritePending());
    QCOMPARE(port.QueueText("Sb\r\n"), 0);  // a stopped port writes nothing more
    QByteArray line;
    for (QByteArray piece; !(piece = pty.Read(200)).isEmpty();)
        line += piece;
    QVERIFY2(big.startsWith(line), line.right(16).constData());
    QVERIFY(!port.AbandonWrite());  // told once
    QCOMPARE(lost, 1);
}

void ComPortTest::secondOpenOfSameDeviceFails()
{
    PtyPair pty;
    TComPort first;
    first.SetEvents(0);
    first.SetPort(pty.SlavePath());
    first.OpenPort();

    TComPort second;
    second.SetEvents(0);
    second.SetPort(pty.SlavePath());
    try {
        second.OpenPort();
        QFAIL("the device was opened twice");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, 1);
        QCOMPARE(e.SystemErrorCode, EBUSY);
    }
    QVERIFY(!second.Connected());
    QCOMPARE(first.WriteText("still mine"), 10);
    QCOMPARE(pty.ReadExactly(10), QByteArray("still mine"));

    first.ClosePort();
    second.OpenPort();
    QVERIFY(second.Connected());
}

void ComPortTest::missingDeviceReportsErrno()
{
    QStringList log;
    TComPort port;
    port.OnBeforeOpen = [&](TCustomComPort* sender) { QCOMPARE(sender, &port); log << "BeforeOpen"; };
    port.OnAfterOpen = [&](TCustomComPort*) { log << "AfterOpen"; };
    port.SetPort("/dev/no-such-serial-device");
    try {
        port.OpenPort();
        QFAIL("a missing device opened");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, 1);
        QCOMPARE(e.SystemErrorCode, 2);
        QCOMPARE(QString::fromUtf8(e.what()), QString("Unable to open com port (win error code: 2)"));
    }
    QVERIFY(!port.Connected());
    QCOMPARE(log, QStringList{"BeforeOpen"});
    port.ClosePort(); // closed: nothing to do
}

void ComPortTest::failedOpenNamesItsCause_data()
{
    QTest::addColumn<QString>("device");  // "pty": a pseudo-terminal another program holds
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing") << "/dev/no-such-serial-device" << "serial device not found";
    QTest::newRow("missing by name") << "ttyNoSuchAdapter9" << "serial device not found";
    QTest::newRow("held by another program") << "pty" << "serial device in use by another program";
}

void ComPortTest::failedOpenNamesItsCause()
{
    QFETCH(QString, device);
    QFETCH(QString, cause);
    PtyPair pty;
    std::unique_ptr<ExclusiveHold> other;
    if (device == "pty") {
        device = pty.SlavePath();
        other = std::make_unique<ExclusiveHold>(device);
        QVERIFY(other->Held());
    }
    TComPort port;
    port.SetPort(device);
    QVERIFY_THROWS_EXCEPTION(EComPort, port.OpenPort());
    QCOMPARE(port.LastCause, cause);
    QVERIFY(!port.Connected());
    other.reset();
    if (device == pty.SlavePath()) {
        port.OpenPort();  // free again: the cause goes with the failure
        QVERIFY(port.LastCause.isEmpty());
    }
}

void ComPortTest::regularFileIsNoPort()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("notatty"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    TComPort port;
    port.SetPort(file.fileName());
    try {
        port.OpenPort();
        QFAIL("a plain file opened as a port");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, 1);
        QCOMPARE(e.SystemErrorCode, ENOTTY);
    }
    QVERIFY(!port.Connected());
}

void ComPortTest::renameWhileOpenReopens()
{
    PtyPair a;
    PtyPair b;
    QStringList log; // outlives the port, whose destruction reports closing
    TComPort port;
    port.SetEvents(0);
    port.SetPort(a.SlavePath());
    port.OpenPort();

    port.OnBeforeOpen = [&](TCustomComPort*) { log << "BeforeOpen"; };
    port.OnAfterOpen = [&](TCustomComPort*) { log << "AfterOpen"; };
    port.OnBeforeClose = [&](TCustomComPort*) { log << "BeforeClose"; };
    port.OnAfterClose = [&](TCustomComPort*) { log << "AfterClose"; };

    port.SetPort(a.SlavePath()); // the same text: nothing happens
    QVERIFY(log.isEmpty());

    port.SetPort(b.SlavePath());
    QCOMPARE(log, QStringList({"BeforeClose", "AfterClose", "BeforeOpen", "AfterOpen"}));
    QVERIFY(port.Connected());
    port.WriteText("to b");
    QCOMPARE(b.ReadExactly(4), QByteArray("to b"));

    // The first device is free again.
    TComPort other;
    other.SetEvents(0);
    other.SetPort(a.SlavePath());
    other.OpenPort();
    QVERIFY(other.Connected());
}

void ComPortTest::emptyEventsStartsNoThread()
{
    PtyPair quiet;
    PtyPair sentinel;
    int rxChars = 0;
    QList<bool> lineReports;
    int seen = 0;
    TComPort port;
    port.SetEvents(0);
    port.SetPort(quiet.SlavePath());
    port.OnRxChar = [&](TCustomComPort*, std::int32_t) { ++rxChars; };
    port.OnCTSChange = [&](TCustomComPort*, bool on) { lineReports << on; };
    port.OnDSRChange = [&](TCustomComPort*, bool on) { lineReports << on; };
    port.OnRLSDChange = [&](TCustomComPort*, bool on) { lineReports << on; };
    port.OpenPort();
    QVERIFY(port.Connected());
    QVERIFY(!port.EventThreadRunning());
    QCOMPARE(lineReports, QList<bool>({false, false, false})); // a pty has no modem lines

    // A port with a thread sees its bytes; by then the quiet one would have too.
    TComPort watcher;
    watcher.SetPort(sentinel.SlavePath());
    watcher.OnRxChar = [&](TCustomComPort* sender, std::int32_t count) {
        QByteArray text;
        seen += sender->ReadText(text, count);
    };
    watcher.OpenPort();
    quiet.Write("ignored");
    sentinel.Write("noticed");
    QTRY_COMPARE(seen, 7);
    QCOMPARE(rxChars, 0);
    QCOMPARE(port.InputQueueCount(), 7);

    port.ClosePort();
    QCOMPARE(lineReports, QList<bool>({false, false, false, false, false, false}));
}

void ComPortTest::syncMethodRefusedWhileOpen()
{
    PtyPair pty;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.OpenPort();
    port.SetSyncMethod(smThreadSync); // unchanged: allowed
    try {
        port.SetSyncMethod(smNone);
        QFAIL("changed while open");
    } catch (const EComPort& e) {
        QCOMPARE(e.PortErrorCode, 14);
        QCOMPARE(e.SystemErrorCode, -1);
    }
    QCOMPARE(int(port.SyncMethod()), int(smThreadSync));
    port.ClosePort();
    port.SetSyncMethod(smNone);
    QCOMPARE(int(port.SyncMethod()), int(smNone));
}

void ComPortTest::destructionReleasesDevice()
{
    PtyPair pty;
    {
        TComPort port;
        port.SetPort(pty.SlavePath());
        port.OpenPort();
    }
    TComPort again;
    again.SetPort(pty.SlavePath());
    again.OpenPort();
    QVERIFY(again.Connected());
}

QTEST_GUILESS_MAIN(ComPortTest)
#include "comport_test.moc"
