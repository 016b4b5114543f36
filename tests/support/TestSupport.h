#pragma once
// Shared pieces of the test executables: a pseudo-terminal pair, a scratch
// settings folder and the scale simulator. None of them needs a widget.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// An openpty() pair in raw mode. The program opens SlavePath(); the test plays
// the other end through the master descriptor.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    bool IsOpen() const { return master_ >= 0; }
    QString SlavePath() const { return slavePath_; }
    int Master() const { return master_; }
    // Closes the test's end, as an unplugged adapter would.
    void CloseMaster();
    void Write(const QByteArray& bytes);
    // Reads what is waiting, waiting up to timeoutMs for the first byte.
    QByteArray Read(int timeoutMs = 1000);
    // Reads until `count` bytes came or timeoutMs passed.
    QByteArray ReadExactly(int count, int timeoutMs = 3000);

private:
    int master_ = -1;
    int slave_ = -1; // kept open so the slave side never sees a hang-up
    QString slavePath_;
};

// A device held for exclusive use as another program holds it: its own
// descriptor with TIOCEXCL and an exclusive flock, released when this goes.
class ExclusiveHold {
public:
    explicit ExclusiveHold(const QString& path);
    ~ExclusiveHold();
    bool Held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

// A scratch /sys/class/tty (Tty()) and /dev/serial/by-id (ById()), laid out
// as the kernel and udev lay them out: real folders and symlinks.
class ScratchSerialTree {
public:
    ScratchSerialTree();
    bool IsValid() const { return dir_.isValid(); }
    QString Tty() const { return dir_.filePath(QStringLiteral("class/tty")); }
    QString ById() const { return dir_.filePath(QStringLiteral("by-id")); }
    // A device with a driver and no USB behind it (ttyS0, ttyAMA0).
    void AddPort(const QString& kernel);
    // A USB adapter on `usbDevice` (1-1): usb-serial (ttyUSB) under an
    // interface of the device, CDC-ACM (ttyACM) on the interface itself. An
    // empty product or serial leaves its file out, as sysfs does.
    void AddAdapter(const QString& kernel, const QString& usbDevice, const QByteArray& product, const QByteArray& serial);
    // by-id/<name> -> ../dev/<kernel> -> node; an empty node leaves the
    // link dangling. Returns the link's path. Pointing it again replaces it.
    QString Link(const QString& name, const QString& kernel, const QString& node);

private:
    QTemporaryDir dir_;
};

// A scratch folder that stands in for the executable's folder while it lives.
class ScratchAppFolder {
public:
    ScratchAppFolder();
    ~ScratchAppFolder();
    QString Path() const; // ends with "/"
    QString File(const QString& name) const { return Path() + name; }

private:
    QTemporaryDir dir_;
};

// The scale simulator as a child process (path from $SCALE_SIM). With
// "--count N" among the arguments it serves N scales, numbered from 0.
class ScaleSim {
public:
    // mode: "serial", "tcp" or "udp"; extra: further arguments; port: where
    // a network scale listens (0: any free port).
    explicit ScaleSim(const QString& mode, const QStringList& extra = {}, quint16 port = 0);
    ~ScaleSim();
    bool Started() const { return started_; }
    QString Device() const { return endpoints_.value(0); }  // serial: the pty path
    QString Host(int scale) const { return endpoints_.value(scale); }
    quint16 Port(int scale = 0) const { return ports_.value(scale); }  // tcp, udp
    QString RecordPath() const { return record_; }
    QByteArray Recorded(int scale = 0) const;
    // Waits until the recording holds at least `bytes` bytes.
    bool WaitRecorded(int bytes, int timeoutMs = 5000, int scale = 0) const;

private:
    QTemporaryDir dir_;
    QProcess proc_;
    QString record_;   // a file, or with several scales a folder of files
    int count_ = 1;
    QStringList endpoints_;
    QList<quint16> ports_;
    bool started_ = false;
};

// A file's bytes, or none when it cannot be read.
QByteArray ReadAll(const QString& path);

// Writes the bytes as the whole file; a failure fails the calling test.
void WriteAll(const QString& path, const QByteArray& bytes);

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool Sanitized = true; // their shadow memory makes an address-space limit meaningless
#else
constexpr bool Sanitized = false;
#endif
