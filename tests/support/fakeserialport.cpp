#include "fakeserialport.h"

FakeSerialPort::FakeSerialPort()
{
    m_clock.start();
}

bool FakeSerialPort::setPortOpen(bool open)
{
    if (!open) {
        m_open = false;
        return true;
    }
    if (m_open) {
        m_error = QStringLiteral("already open");
        return false;
    }
    if (failOpen || !existingPorts.contains(m_commPort)) {
        m_error = failReason;
        return false;
    }
    m_open = true;
    ++openCount;
    openedSettings << m_settings;
    openedPorts << m_commPort;
    return true;
}

void FakeSerialPort::setInBufferCount(int count)
{
    if (count == 0)
        m_in.clear();
}

QByteArray FakeSerialPort::input()
{
    QByteArray b;
    b.swap(m_in);
    return b;
}

bool FakeSerialPort::output(const QByteArray &bytes)
{
    if (!m_open) {
        m_error = QStringLiteral("port closed");
        return false;
    }
    writes.append({m_clock.elapsed(), bytes});
    emit bytesWritten(bytes.size());
    return true;
}

QByteArray FakeSerialPort::allWritten() const
{
    QByteArray all;
    for (const Write &w : writes)
        all += w.bytes;
    return all;
}

void FakeSerialPort::receive(const QByteArray &bytes)
{
    if (!m_open)
        return;
    m_in += bytes;
    if (m_rThreshold > 0 && m_in.size() >= m_rThreshold)
        raiseComm(comEvReceive);
}

void FakeSerialPort::sendEvent()
{
    if (m_open && m_sThreshold > 0)
        raiseComm(comEvSend);
}

void FakeSerialPort::lose()
{
    if (!m_open)
        return;
    m_open = false;
    emit portLost(QStringLiteral("device removed"));
}
