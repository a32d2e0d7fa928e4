#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class PortResolver;

// Watches for a lost port's device to come back: the same ports/COMn link
// resolving to a device again, or the same device path; when the lost
// adapter had a USB serial number, only an adapter with that number counts.
// Then it asks its owner to reopen the port with the same settings. Only a
// loss starts it; any opening or closing by the user stops it.
class PortReconnect : public QObject
{
    Q_OBJECT
public:
    // reopen: opens the port again with the boxes' settings; true on success.
    PortReconnect(std::shared_ptr<const PortResolver> resolver, std::function<bool()> reopen, QObject *parent = nullptr);

    // The port was opened on this port number (remembers the device's serial number).
    void opened(int portNumber);
    // The port was lost: watch for it.
    void lost();
    // The user opened or closed a port: stop watching.
    void stop() { m_timer.stop(); }
    bool watching() const { return m_timer.isActive(); }

signals:
    void reconnected();

private:
    void poll();

    std::shared_ptr<const PortResolver> m_resolver;
    std::function<bool()> m_reopen;
    QTimer m_timer;
    int m_port = 0;
    QString m_serialNumber;
};
