#include "SerialDevice.h"
#include "SerialTermios.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
TDCB Record9600()
{
    TDCB d;
    d.DCBlength = 28;
    d.BaudRate = 9600;
    d.Flags = dcb::fBinary;
    d.ByteSize = 8;
    d.XonChar = 17;
    d.XoffChar = 19;
    return d;
}

// A terminal as a login shell leaves it: cooked, echoing, split input rate.
termios2 CookedTerminal()
{
    termios2 t{};
    t.c_iflag = ICRNL | IXON | IGNPAR | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = B38400 | (B1200 << IBSHIFT) | CS7 | PARENB | CSTOPB | HUPCL;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cc[VMIN] = 0;
    return t;
}
}

class SerialTermiosTest : public QObject {
    Q_OBJECT
private slots:
    void cookedTerminalBecomesRaw();
    void baudRates_data();
    void baudRates();
    void frame_data();
    void frame();
    void flowControl_data();
    void flowControl();
    void parityChecking_data();
    void parityChecking();
    void impossibleRecordRefused_data();
    void impossibleRecordRefused();
    void outputLines_data();
    void outputLines();
    void devicePaths_data();
    void devicePaths();
    void lowLatencyRefusedChangesNothing();
};

void SerialTermiosTest::cookedTerminalBecomesRaw()
{
    termios2 t = CookedTerminal();
    QVERIFY(DcbToTermios(Record9600(), t));
    QCOMPARE(t.c_cflag & CBAUD, tcflag_t(B9600));
    QCOMPARE(t.c_cflag & (CBAUD << IBSHIFT), tcflag_t(0)); // input rate follows output
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
    QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP | IGNPAR | INPCK), tcflag_t(0));
    QCOMPARE(t.c_cflag & HUPCL, tcflag_t(HUPCL)); // not ours to change
    QCOMPARE(int(t.c_cc[VMIN]), 1);
    QCOMPARE(int(t.c_cc[VTIME]), 0);
}

void SerialTermiosTest::baudRates_data()
{
    QTest::addColumn<uint>("rate");
    QTest::addColumn<uint>("constant");
    QTest::newRow("110 has a constant") << 110u << uint(B110);
    QTest::newRow("115200 has a constant") << 115200u << uint(B115200);
    QTest::newRow("14400 needs BOTHER") << 14400u << uint(BOTHER);
    QTest::newRow("56000 needs BOTHER") << 56000u << uint(BOTHER);
    QTest::newRow("128000 needs BOTHER") << 128000u << uint(BOTHER);
    QTest::newRow("256000 needs BOTHER") << 256000u << uint(BOTHER);
    QTest::newRow("custom MIDI rate") << 31250u << uint(BOTHER);
}

void SerialTermiosTest::baudRates()
{
    QFETCH(uint, rate);
    QFETCH(uint, constant);
    TDCB d = Record9600();
    d.BaudRate = rate;
    termios2 t = CookedTerminal();
    QVERIFY(DcbToTermios(d, t));
    QCOMPARE(uint(t.c_cflag & CBAUD), constant);
    QCOMPARE(uint(t.c_ospeed), rate);
    QCOMPARE(uint(t.c_ispeed), rate);
}

void SerialTermiosTest::frame_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stop");
    QTest::addColumn<uint>("cflag"); // within CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
    QTest::newRow("5N1") << 5 << 0 << 0 << uint(CS5);
    QTest::newRow("6 odd") << 6 << 1 << 0 << uint(CS6 | PARENB | PARODD);
    QTest::newRow("7 even 2 stop") << 7 << 2 << 2 << uint(CS7 | PARENB | CSTOPB);
    QTest::newRow("mark parity") << 8 << 3 << 0 << uint(CS8 | PARENB | PARODD | CMSPAR);
    QTest::newRow("space parity") << 8 << 4 << 0 << uint(CS8 | PARENB | CMSPAR);
    QTest::newRow("1.5 stop bits become 2") << 5 << 0 << 1 << uint(CS5 | CSTOPB);
}

void SerialTermiosTest::frame()
{
    QFETCH(int, size);
    QFETCH(int, parity);
    QFETCH(int, stop);
    QFETCH(uint, cflag);
    TDCB d = Record9600();
    d.ByteSize = quint8(size);
    d.Parity = quint8(parity);
    d.StopBits = quint8(stop);
    termios2 t = CookedTerminal();
    QVERIFY(DcbToTermios(d, t));
    QCOMPARE(uint(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)), cflag);
}

void SerialTermiosTest::flowControl_data()
{
    QTest::addColumn<uint>("flags");
    QTest::addColumn<bool>("crtscts");
    QTest::addColumn<uint>("iflag"); // within IXON | IXOFF | IXANY
    QTest::newRow("none") << 0u << false << 0u;
    QTest::newRow("CTS out") << uint(dcb::fOutxCtsFlow) << true << 0u;
    QTest::newRow("RTS handshake alone") << uint(2u << dcb::fRtsControlShift) << true << 0u;
    QTest::newRow("RTS enabled is no handshake") << uint(1u << dcb::fRtsControlShift) << false << 0u;
    QTest::newRow("XON/XOFF out") << uint(dcb::fOutX) << false << uint(IXON);
    QTest::newRow("XON/XOFF both") << uint(dcb::fOutX | dcb::fInX) << false << uint(IXON | IXOFF);
}

void SerialTermiosTest::flowControl()
{
    QFETCH(uint, flags);
    QFETCH(bool, crtscts);
    QFETCH(uint, iflag);
    TDCB d = Record9600();
    d.Flags |= flags;
    d.XonChar = 'Q';
    d.XoffChar = 'S';
    termios2 t = CookedTerminal();
    t.c_cflag |= CRTSCTS;
    t.c_iflag |= IXANY;
    QVERIFY(DcbToTermios(d, t));
    QCOMPARE((t.c_cflag & CRTSCTS) != 0, crtscts);
    QCOMPARE(uint(t.c_iflag & (IXON | IXOFF | IXANY)), iflag);
    QCOMPARE(t.c_cc[VSTART], cc_t('Q'));
    QCOMPARE(t.c_cc[VSTOP], cc_t('S'));
}

void SerialTermiosTest::parityChecking_data()
{
    QTest::addColumn<uint>("flags");
    QTest::addColumn<bool>("inpck");
    QTest::newRow("no checking") << 0u << false;
    QTest::newRow("checked bytes pass unchanged") << uint(dcb::fParity) << false;
    QTest::newRow("checked and replaced") << uint(dcb::fParity | dcb::fErrorChar) << true;
}

void SerialTermiosTest::parityChecking()
{
    QFETCH(uint, flags);
    QFETCH(bool, inpck);
    TDCB d = Record9600();
    d.Flags |= flags;
    d.Parity = 2;
    termios2 t = CookedTerminal();
    QVERIFY(DcbToTermios(d, t));
    QCOMPARE((t.c_iflag & INPCK) != 0, inpck);
    QCOMPARE(t.c_iflag & (PARMRK | IGNPAR), tcflag_t(0));
}

void SerialTermiosTest::impossibleRecordRefused_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("rate zero") << "rate";
    QTest::newRow("nine data bits") << "size";
    QTest::newRow("parity 5") << "parity";
    QTest::newRow("stop bits 3") << "stop";
}

void SerialTermiosTest::impossibleRecordRefused()
{
    QFETCH(QString, field);
    TDCB d = Record9600();
    if (field == "rate")
        d.BaudRate = 0;
    else if (field == "size")
        d.ByteSize = 9;
    else if (field == "parity")
        d.Parity = 5;
    else
        d.StopBits = 3;
    const termios2 before = CookedTerminal();
    termios2 t = before;
    QVERIFY(!DcbToTermios(d, t));
    QVERIFY(std::memcmp(&t, &before, sizeof t) == 0);
}

void SerialTermiosTest::outputLines_data()
{
    QTest::addColumn<uint>("dtr");
    QTest::addColumn<uint>("rts");
    QTest::addColumn<bool>("dtrOn");
    QTest::addColumn<bool>("rtsOn");
    QTest::newRow("both disabled") << dcb::DtrDisable << dcb::RtsDisable << false << false;
    QTest::newRow("both enabled") << dcb::DtrEnable << dcb::RtsEnable << true << true;
    QTest::newRow("handshakes raise their line") << dcb::DtrHandshake << dcb::RtsHandshake << true << true;
    QTest::newRow("toggle rests low") << dcb::DtrDisable << dcb::RtsToggle << false << false;
}

void SerialTermiosTest::outputLines()
{
    QFETCH(uint, dtr);
    QFETCH(uint, rts);
    QFETCH(bool, dtrOn);
    QFETCH(bool, rtsOn);
    TDCB d = Record9600();
    d.Flags |= (dtr << dcb::fDtrControlShift) | (rts << dcb::fRtsControlShift);
    const TOutputLines lines = OutputLinesFor(d);
    QCOMPARE(lines.Dtr, dtrOn);
    QCOMPARE(lines.Rts, rtsOn);
}

void SerialTermiosTest::devicePaths_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("path");
    QTest::newRow("COM1 is the first UART") << "COM1" << "/dev/ttyS0";
    QTest::newRow("COM12") << "COM12" << "/dev/ttyS11";
    QTest::newRow("lower case com") << "com3" << "/dev/ttyS2";
    QTest::newRow("COM0 is no UART") << "COM0" << "/dev/COM0";
    QTest::newRow("COM with sign") << "COM+1" << "/dev/COM+1";
    QTest::newRow("USB adapter by name") << "ttyUSB0" << "/dev/ttyUSB0";
    QTest::newRow("absolute path as it stands") << "/dev/pts/7" << "/dev/pts/7";
}

void SerialTermiosTest::devicePaths()
{
    QFETCH(QString, port);
    QFETCH(QString, path);
    QCOMPARE(DevicePath(port), path);
}

// A pseudo-terminal has no low-latency mode: it opens as it did without the step.
void SerialTermiosTest::lowLatencyRefusedChangesNothing()
{
    PtyPair pty;
    QVERIFY(pty.IsOpen());
    const QByteArray path = QFile::encodeName(pty.SlavePath());
    termios2 before{};
    const int probe = ::open(path.constData(), O_RDWR | O_NOCTTY);
    QVERIFY(probe >= 0);
    QCOMPARE(::ioctl(probe, TCGETS2, &before), 0);
    ::close(probe);

    TSerialDevice device;
    QCOMPARE(device.Open(pty.SlavePath()), 0);
    serial_struct serial{};
    QCOMPARE(::ioctl(device.Handle(), TIOCGSERIAL, &serial), -1);  // the step was refused
    QCOMPARE(errno, ENOTTY);
    termios2 after{};
    QCOMPARE(::ioctl(device.Handle(), TCGETS2, &after), 0);
    QCOMPARE(std::memcmp(&before, &after, sizeof before), 0);
}

QTEST_GUILESS_MAIN(SerialTermiosTest)
#include "serialtermios_test.moc"
