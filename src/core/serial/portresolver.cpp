#include "serial/portresolver.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

PortResolver::PortResolver(const QString &settingsFolder, bool useSystemPorts)
    : m_folder(settingsFolder), m_useSystemPorts(useSystemPorts)
{
}

QStringList PortResolver::orderSystemPorts(const QStringList &portNames)
{
    QStringList usb, other;
    for (const QString &name : portNames) {
        if (name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM")))
            usb << name;
        else
            other << name;
    }
    // Natural order: "ttyS2" before "ttyS10".
    auto split = [](const QString &s) {
        int i = s.size();
        while (i > 0 && s.at(i - 1).isDigit())
            --i;
        return std::make_pair(s.left(i), s.mid(i).toLongLong());
    };
    auto byNumber = [&split](const QString &a, const QString &b) { return split(a) < split(b); };
    std::sort(usb.begin(), usb.end(), byNumber);
    std::sort(other.begin(), other.end(), byNumber);
    return usb + other;
}

QStringList PortResolver::systemPorts() const
{
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.portName();
    return orderSystemPorts(names);
}

QString PortResolver::resolve(int n) const
{
    std::optional<QStringList> system;
    return resolveWith(n, system);
}

QString PortResolver::resolveWith(int n, std::optional<QStringList> &system) const
{
    if (n < 1 || n > 255)
        return QString();
#ifdef Q_OS_WIN
    (void)system;
    return QStringLiteral("COM%1").arg(n);
#else
    const QString link = QDir(m_folder).filePath(QStringLiteral("ports/COM%1").arg(n));
    const QFileInfo fi(link);
    if (fi.exists()) // follows the link: a dangling link counts as no device
        return fi.absoluteFilePath();
    if (QFileInfo(link).isSymLink())
        return QString();
    if (!m_useSystemPorts)
        return QString();
    if (!system)
        system = systemPorts();
    if (n <= system->size())
        return QStringLiteral("/dev/") + system->at(n - 1);
    return QString();
#endif
}

QString PortResolver::describe(int n) const
{
    return describeDevice(n, resolve(n));
}

QStringList PortResolver::describeAll(int count) const
{
    std::optional<QStringList> system;
    QStringList out;
    for (int n = 1; n <= count; ++n)
        out << describeDevice(n, resolveWith(n, system));
    return out;
}

QString PortResolver::describeDevice(int n, const QString &dev) const
{
    if (dev.isEmpty())
        return QStringLiteral("COM%1: no device").arg(n);
    QString target = QFileInfo(dev).canonicalFilePath();
    if (target.isEmpty() || target == dev)
        return QStringLiteral("COM%1 -> %2").arg(n).arg(dev);
    return QStringLiteral("COM%1 -> %2 (%3)").arg(n).arg(dev, target);
}
