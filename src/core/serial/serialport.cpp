#include "serial/serialport.h"

#include <QStringList>

bool parseLineSettings(const QString &text, LineSettings *out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    LineSettings s;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0)
        return false;
    const QString p = parts[1].trimmed().toUpper();
    if (p.size() != 1 || !QStringLiteral("NOESM").contains(p))
        return false;
    s.parity = p.at(0).toLatin1();
    s.dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8)
        return false;
    s.stopBits = parts[3].trimmed().toInt(&ok);
    if (!ok || (s.stopBits != 1 && s.stopBits != 2))
        return false;
    if (out)
        *out = s;
    return true;
}

bool SerialPort::setSettings(const QString &settings)
{
    if (!parseLineSettings(settings, nullptr)) {
        m_error = QStringLiteral("invalid settings: %1").arg(settings);
        return false;
    }
    m_settings = settings;
    return true;
}

bool SerialPort::setInBufferSize(int size)
{
    if (portOpen() || size <= 0) {
        m_error = QStringLiteral("the receive buffer size can only be set while the port is closed");
        return false;
    }
    m_inBufferSize = size;
    return true;
}

bool SerialPort::setOutBufferSize(int size)
{
    if (portOpen() || size <= 0) {
        m_error = QStringLiteral("the send buffer size can only be set while the port is closed");
        return false;
    }
    m_outBufferSize = size;
    return true;
}

void setUpBuffers(SerialPort &port)
{
    port.setInBufferSize(1024);
    port.setOutBufferSize(4096);
    port.setRThreshold(1);
    port.setSThreshold(1);
}
