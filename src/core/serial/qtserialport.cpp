#include "serial/qtserialport.h"

#include "serial/portresolver.h"

#include <QSerialPort>
#include <QSocketNotifier>
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

// With pacing, one receive event takes at most this much.
constexpr qint64 kBatch = 8 * 1024;
// A pause lasts about as long as the line takes to bring this much at its
// recent rate (one read of the system's line buffer), at most the pacing time:
// a slow line waits the whole pacing time, a flood not at all.
constexpr double kPauseBytes = 4096;
// The line's rate is measured over windows at least this long.
constexpr qint64 kRateWindowNs = 20'000'000;
// A read this large found the line buffer (4 KiB on Linux) about full.
constexpr qint64 kFullRead = 2048;

} // namespace

QtSerialPort::QtSerialPort(std::shared_ptr<const PortResolver> resolver, QObject *parent)
    : SerialPort(parent), m_resolver(std::move(resolver)), m_port(new QSerialPort(this)), m_pause(new QTimer(this))
{
    m_pause->setObjectName(QStringLiteral("receivePause"));
    m_pause->setSingleShot(true);
    m_pause->setTimerType(Qt::PreciseTimer);
    connect(m_pause, &QTimer::timeout, this, &QtSerialPort::receiveNow);
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
    m_pause->stop();
    m_paused = false;
    m_rateClock.invalidate();
    m_rateBytes = 0;
    m_bytesPerMs = 0;
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
    if (m_inReceiveEvent || m_gathering || !m_port->isOpen() || m_rThreshold <= 0)
        return;
    // The line is read until it is empty (or a batch is full), so that a
    // stream costs one event per batch rather than one per read. A batch
    // that emptied the line is followed by a pause.
    const int longest = pacingNow();
    const bool pacing = longest > 0;
    const bool emptied = pacing && gather();
    if (pacing)
        measureRate(m_port->bytesAvailable());
    // One event per batch: a handler that reads everything ends the loop; a
    // handler that leaves bytes waiting gets the next event with the next readyRead.
    m_inReceiveEvent = true;
    if (m_port->isOpen() && m_port->bytesAvailable() >= m_rThreshold)
        raiseComm(comEvReceive);
    m_inReceiveEvent = false;
    if (emptied)
        pauseReceive(longest);
}

void QtSerialPort::measureRate(qint64 bytes)
{
    if (!m_rateClock.isValid())
        m_rateClock.start();
    m_rateBytes += bytes;
    const qint64 ns = m_rateClock.nsecsElapsed();
    if (ns >= kRateWindowNs) {
        m_bytesPerMs = double(m_rateBytes) * 1e6 / double(ns);
        m_rateBytes = 0;
        m_rateClock.restart();
    }
}

int QtSerialPort::pacingNow() const
{
    if (m_pacingMs <= 0 || !m_port->isOpen())
        return 0;
    return m_pacingLimit ? qBound(0, m_pacingLimit(), m_pacingMs) : m_pacingMs;
}

bool QtSerialPort::gather()
{
    // One read takes at most what the system's line buffer holds (4 KiB on
    // Linux). While reads come back about that full, more is waiting:
    // waitForReadyRead(0) looks at the line without waiting and reads once
    // more. A smaller read means the line is down to the pace of its writer,
    // and reading on would only chase its next few bytes.
    m_gathering = true;
    qint64 last = m_port->bytesAvailable(); // what the read that raised this brought
    while (last >= kFullRead && m_port->isOpen() && m_port->bytesAvailable() < kBatch) {
        const qint64 before = m_port->bytesAvailable();
        last = m_port->waitForReadyRead(0) ? m_port->bytesAvailable() - before : 0;
    }
    m_gathering = false;
    // Finding the line empty is reported as a timeout; a real failure has
    // been reported through errorOccurred and is left for onError.
    if (m_port->isOpen() && m_port->error() == QSerialPort::TimeoutError)
        m_port->clearError();
    return last < kFullRead;
}

QSocketNotifier *QtSerialPort::readNotifier()
{
    // Looked up once per opening: QSerialPort keeps it until it closes.
    const qintptr handle = qintptr(m_port->handle());
    if (m_readNotifier && m_readNotifier->socket() == handle)
        return m_readNotifier;
    m_readNotifier = nullptr;
    const auto notifiers = m_port->findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *n : notifiers)
        if (n->type() == QSocketNotifier::Read && n->socket() == handle) {
            m_readNotifier = n;
            break;
        }
    return m_readNotifier;
}

void QtSerialPort::pauseReceive(int longest)
{
    if (m_rThreshold <= 0 || longest <= 0)
        return;
    QSocketNotifier *watcher = readNotifier();
    if (!watcher)
        return;
    const double ms = qMin<double>(m_bytesPerMs > 0 ? kPauseBytes / m_bytesPerMs : longest, longest);
    if (ms < 1)
        return;
    // Qt turns its watcher on again whenever something reads from the port;
    // until then the line is not looked at, and the bytes wait in the system.
    watcher->setEnabled(false);
    m_paused = true;
    m_pause->start(int(ms));
}

void QtSerialPort::receiveNow()
{
    // Inside a receive event the bytes are being taken anyway.
    if (!m_paused || m_inReceiveEvent)
        return;
    m_paused = false;
    m_pause->stop();
    if (QSocketNotifier *watcher = readNotifier())
        watcher->setEnabled(true);
    if (!m_port->isOpen())
        return;
    if (m_port->bytesAvailable() > 0) {
        onReadyRead();
        return;
    }
    // Reads what came during the pause; its readyRead raises the event.
    if (!m_port->waitForReadyRead(0) && m_port->isOpen() && m_port->error() == QSerialPort::TimeoutError)
        m_port->clearError();
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
