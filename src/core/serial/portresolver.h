#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Maps the port number of "COMn" to a device of this host.
//
// On Windows COMn is the device itself. Elsewhere it is, in this order:
//  1. <settings folder>/ports/COMn when that exists (usually a symbolic link
//     to /dev/serial/by-id/..., or to a pseudo-terminal in tests);
//  2. the n-th serial port the system lists: USB adapters (ttyUSB*, ttyACM*)
//     first, then the others, each group in natural number order;
//  3. nothing: opening fails like a missing port.
class PortResolver
{
public:
    explicit PortResolver(const QString &settingsFolder, bool useSystemPorts = true);
    virtual ~PortResolver() = default;

    // Device path for port n (1-based), or an empty string when there is none.
    virtual QString resolve(int n) const;
    // "COMn -> /dev/ttyUSB0 (FTDI ...)" or "COMn: no device".
    virtual QString describe(int n) const;
    // describe() for ports 1..count, asking the system for its list once.
    QStringList describeAll(int count) const;

    // The system's serial devices in the order used for numbering.
    static QStringList orderSystemPorts(const QStringList &portNames);

private:
    QStringList systemPorts() const;
    // resolve() with the system's list taken from *system, fetched into it
    // on first need (the system's list takes milliseconds to read).
    QString resolveWith(int n, std::optional<QStringList> &system) const;
    QString describeDevice(int n, const QString &dev) const;
    QString m_folder;
    bool m_useSystemPorts;
};
