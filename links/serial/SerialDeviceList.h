#pragma once
// The serial devices as a technician tells them apart: the kernel's name, the
// name the port lists show, and for a USB adapter its stable /dev/serial/by-id
// path and the product and serial number it reports.
#include <QList>
#include <QString>

// Where the port lists and `scaledb ports` look for devices and their stable
// names; tests lay out trees of their own.
extern QString SerialDeviceFolder;
extern QString SerialByIdFolder;

struct TSerialDeviceInfo {
    QString Kernel;       // ttyS0, ttyUSB0
    QString Name;         // as the lists show it: COMn for ttyS(n-1), else Kernel
    QString StablePath;   // the by-id link to it; empty when there is none
    QString Product;      // the USB device's product text; empty for others
    QString SerialNumber; // the USB device's serial number; empty when it has none

    // What choosing it stores: the stable path survives replugging.
    QString PortName() const { return StablePath.isEmpty() ? Name : StablePath; }
    // One line of a port list: "ttyUSB0 — FT232R USB UART (A50285BI)".
    QString Caption() const;
};

// COM(n+1) for ttySn, other names unchanged.
QString ListedPortName(const QString& kernel);

// The devices with hardware behind them in a /sys/class/tty folder, with what
// sysfs and the by-id folder tell of each (a missing by-id folder: no adapter
// has a stable path). Sorted by Name ignoring case. Returns 0 or the errno of
// reading the tty folder.
int ReadSerialDevices(const QString& ttyClassFolder, const QString& byIdFolder, QList<TSerialDeviceInfo>& list);
