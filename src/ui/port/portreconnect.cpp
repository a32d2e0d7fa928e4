#include "port/portreconnect.h"

#include "serial/portresolver.h"
#include "timing.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace {
QString serialNumberOf(const QString &device)
{
    if (device.isEmpty())
        return QString();
    return QSerialPortInfo(QFileInfo(device).canonicalFilePath()).serialNumber();
}
} // namespace

PortReconnect::PortReconnect(std::shared_ptr<const PortResolver> resolver, std::function<bool()> reopen,
                             QObject *parent)
    : QObject(parent), m_resolver(std::move(resolver)), m_reopen(std::move(reopen))
{
    m_timer.setInterval(timing::kReconnectPoll);
    connect(&m_timer, &QTimer::timeout, this, &PortReconnect::poll);
}

void PortReconnect::opened(int portNumber)
{
    m_timer.stop();
    m_port = portNumber;
    m_serialNumber = m_resolver ? serialNumberOf(m_resolver->resolve(portNumber)) : QString();
}

void PortReconnect::lost()
{
    if (m_port >= 1 && m_resolver)
        m_timer.start();
}

void PortReconnect::poll()
{
    const QString device = m_resolver->resolve(m_port);
    if (device.isEmpty() || !QFileInfo::exists(device))
        return;
    if (!m_serialNumber.isEmpty() && serialNumberOf(device) != m_serialNumber)
        return; // another adapter took the number
    if (m_reopen && m_reopen()) {
        m_timer.stop();
        emit reconnected();
    }
}
