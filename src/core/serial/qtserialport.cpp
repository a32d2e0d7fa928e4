#include "serial/qtserialport.h"

#include "serial/portresolver.h"

#include <QSerialPort>
#include <QTimer>

namespace {
// The receive buffer of the line is the kernel's; InBufferSize only bounds
// what Qt holds between two reads. Capped at 1 KiB it would cut a fast
// stream into a thousand receive events a second, so Qt may hold at least
// 64 KiB before it stops reading.
qint64 readBufferFor(int inBufferSize)
{
    return qMax<qint64>(inBufferSize, 64 * 1024);
}
} // namespace

QtSerialPort::QtSerialPort(std::shared_ptr<const PortResolver> resolver, QObject *parent)
    : SerialPort(parent), m_resolver(std::move(resolver)), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    connect(m_port, &QSerialPort::bytesWritten, this, &QtSerialPort::onBytesWritten);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(static_cast<int>(e)); });
}

QtSerialPort::~QtSerialPort()
{
    closeInternal();
}

bool QtSerialPort::portOpen() const
{
    return m_port->isOpen();
}

void QtSerialPort::closeInternal()
{
    if (m_port->isOpen())
        m_port->close();
    m_device.clear();
}

bool QtSerialPort::setPortOpen(bool open)
{
    if (!open) {
        closeInternal();
        return true;
    }
    if (m_port->isOpen()) {
        m_error = QStringLiteral("the port is already open");
        return false;
    }
    LineSettings ls;
    if (!parseLineSettings(m_settings, &ls)) {
        m_error = QStringLiteral("invalid settings: %1").arg(m_settings);
        return false;
    }
    const QString device = m_resolver ? m_resolver->resolve(m_commPort) : QString();
    if (device.isEmpty()) {
        m_error = QStringLiteral("COM%1: no such port").arg(m_commPort);
        return false;
    }
    m_port->setPortName(device);
    m_port->setReadBufferSize(readBufferFor(m_inBufferSize));
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_error = m_port->errorString();
        m_port->clearError();
        return false;
    }
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (ls.parity) {
    case 'O': parity = QSerialPort::OddParity; break;
    case 'E': parity = QSerialPort::EvenParity; break;
    case 'S': parity = QSerialPort::SpaceParity; break;
    case 'M': parity = QSerialPort::MarkParity; break;
    default: break;
    }
    const bool applied = m_port->setBaudRate(ls.baud)
        && m_port->setDataBits(static_cast<QSerialPort::DataBits>(ls.dataBits))
        && m_port->setStopBits(ls.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
        && m_port->setFlowControl(QSerialPort::NoFlowControl);
    // Pseudo-terminals accept no parity other than none; a line that cannot
    // take the requested parity still opens, like an adapter that ignores it.
    if (applied && parity != QSerialPort::NoParity && !m_port->setParity(parity))
        m_port->clearError();
    if (!applied) {
        m_error = m_port->errorString();
        m_port->clearError();
        m_port->close();
        return false;
    }
    // Control lines are best effort: pseudo-terminals have none.
    if (!m_port->setDataTerminalReady(true))
        m_port->clearError();
    if (!m_port->setRequestToSend(true))
        m_port->clearError();
    m_port->clearError();
    m_device = device;
    return true;
}

bool QtSerialPort::setInBufferSize(int size)
{
    if (!SerialPort::setInBufferSize(size))
        return false;
    m_port->setReadBufferSize(readBufferFor(size));
    return true;
}

int QtSerialPort::inBufferCount() const
{
    return m_port->isOpen() ? int(m_port->bytesAvailable()) : 0;
}

void QtSerialPort::setInBufferCount(int count)
{
    if (count == 0 && m_port->isOpen()) {
        m_port->readAll();
        m_port->clear(QSerialPort::Input);
        m_port->clearError();
    }
}

void QtSerialPort::setOutBufferCount(int count)
{
    if (count == 0 && m_port->isOpen()) {
        m_port->clear(QSerialPort::Output);
        m_port->clearError();
    }
}

void QtSerialPort::setRThreshold(int n)
{
    SerialPort::setRThreshold(n);
    // Data that waited while receive events were off is reported now.
    if (n > 0 && m_port->isOpen() && m_port->bytesAvailable() >= n)
        QTimer::singleShot(0, this, &QtSerialPort::onReadyRead);
}

QByteArray QtSerialPort::input()
{
    if (!m_port->isOpen())
        return QByteArray();
    return m_port->readAll();
}

bool QtSerialPort::output(const QByteArray &bytes)
{
    if (!m_port->isOpen()) {
        m_error = QStringLiteral("the port is not open");
        return false;
    }
    if (bytes.isEmpty())
        return true;
    const qint64 n = m_port->write(bytes);
    if (n != bytes.size()) {
        m_error = m_port->errorString();
        return false;
    }
    return true;
}

QString QtSerialPort::deviceDescription() const
{
    return m_resolver ? m_resolver->describe(m_commPort) : QString();
}

void QtSerialPort::onReadyRead()
{
    if (m_inReceiveEvent || !m_port->isOpen() || m_rThreshold <= 0)
        return;
    // One event per batch: a handler that reads everything ends the loop; a
    // handler that leaves bytes waiting gets the next event with the next readyRead.
    m_inReceiveEvent = true;
    if (m_port->bytesAvailable() >= m_rThreshold)
        raiseComm(comEvReceive);
    m_inReceiveEvent = false;
}

void QtSerialPort::onBytesWritten(qint64 n)
{
    emit bytesWritten(n);
    if (m_sThreshold > 0 && m_port->isOpen() && m_port->bytesToWrite() < m_sThreshold)
        raiseComm(comEvSend);
}

void QtSerialPort::onError(int error)
{
    const auto e = static_cast<QSerialPort::SerialPortError>(error);
    if (e == QSerialPort::NoError)
        return;
    if (e == QSerialPort::ResourceError || e == QSerialPort::ReadError || e == QSerialPort::WriteError) {
        if (!m_port->isOpen())
            return;
        const QString reason = m_port->errorString();
        // Close from the event loop, not from inside QSerialPort's own signal.
        QTimer::singleShot(0, this, [this, reason] {
            if (!m_port->isOpen())
                return;
            closeInternal();
            m_port->clearError();
            m_error = reason;
            emit portLost(reason);
        });
    }
}
