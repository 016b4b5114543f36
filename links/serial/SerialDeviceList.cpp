#include "SerialDeviceList.h"
#include "SerialDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

QString SerialDeviceFolder = QStringLiteral("/sys/class/tty");
QString SerialByIdFolder = QStringLiteral("/dev/serial/by-id");

namespace {

QString ReadAttribute(const QString& folder, const QString& name)
{
    QFile f(folder + QLatin1Char('/') + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).trimmed(); // the kernel gives USB strings as UTF-8
}

// The USB device is the first folder above the tty that has a vendor id: the
// interface's parent for usb-serial (ttyUSB), the interface's parent for
// CDC-ACM, whose device link points at the interface itself. Going further
// would reach the hub, whose product text is not the adapter's.
void ReadUsbStrings(const QString& ttyEntry, TSerialDeviceInfo& info)
{
    QString folder = QFileInfo(ttyEntry + QStringLiteral("/device")).canonicalFilePath();
    for (int up = 0; up < 3 && !folder.isEmpty(); ++up) {
        if (QFile::exists(folder + QStringLiteral("/idVendor"))) {
            info.Product = ReadAttribute(folder, QStringLiteral("product"));
            info.SerialNumber = ReadAttribute(folder, QStringLiteral("serial"));
            return;
        }
        folder = QFileInfo(folder).path();
    }
}

// Each link of the by-id folder names its device by a relative path
// (../../ttyUSB0); a link whose device is gone is left out.
void ReadStablePaths(const QString& byIdFolder, QList<TSerialDeviceInfo>& list)
{
    const QFileInfoList links = QDir(byIdFolder).entryInfoList(QDir::Files | QDir::System, QDir::Name);
    for (const QFileInfo& link : links) {
        if (!link.isSymLink() || !link.exists())
            continue;
        const QString kernel = QFileInfo(link.symLinkTarget()).fileName();
        for (TSerialDeviceInfo& info : list)
            if (info.Kernel == kernel && info.StablePath.isEmpty())
                info.StablePath = link.absoluteFilePath();
    }
}

} // namespace

QString TSerialDeviceInfo::Caption() const
{
    QString text = Name;
    if (!Product.isEmpty())
        text += QStringLiteral(" \u2014 ") + Product;
    if (!SerialNumber.isEmpty())
        text += QStringLiteral(" (%1)").arg(SerialNumber);
    return text;
}

QString ListedPortName(const QString& kernel)
{
    bool numbered = false;
    const int n = kernel.startsWith(QLatin1String("ttyS")) ? kernel.mid(4).toInt(&numbered) : 0;
    if (numbered && n >= 0 && kernel.mid(4).front().isDigit())
        return QStringLiteral("COM%1").arg(n + 1);
    return kernel;
}

int ReadSerialDevices(const QString& ttyClassFolder, const QString& byIdFolder, QList<TSerialDeviceInfo>& list)
{
    QStringList kernels;
    if (const int err = ListTtyDevices(ttyClassFolder, kernels))
        return err;
    list.clear();
    for (const QString& kernel : kernels) {
        TSerialDeviceInfo info;
        info.Kernel = kernel;
        info.Name = ListedPortName(kernel);
        ReadUsbStrings(ttyClassFolder + QLatin1Char('/') + kernel, info);
        list.append(info);
    }
    if (!byIdFolder.isEmpty())
        ReadStablePaths(byIdFolder, list);
    std::stable_sort(list.begin(), list.end(), [](const TSerialDeviceInfo& a, const TSerialDeviceInfo& b) {
        return a.Name.compare(b.Name, Qt::CaseInsensitive) < 0;
    });
    return 0;
}
