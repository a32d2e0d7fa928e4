#include "terminal/filesender.h"

#include "serial/serialport.h"
#include "terminal/terminalfiles.h"

FileSender::FileSender(SerialPort *port, QObject *parent) : QObject(parent), m_port(port)
{
    // The next piece is always written from the event loop, never from inside
    // the bytesWritten signal of the previous write (a port may report a write
    // before output() has even returned).
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &FileSender::writeNext);
    connect(m_port, &SerialPort::bytesWritten, this, &FileSender::onBytesWritten);
}

bool FileSender::start(const QByteArray &data)
{
    if (m_running)
        cancel();
    m_data = data;
    m_queued = 0;
    m_acked = 0;
    const qint64 perSecond = terminalfiles::bytesPerSecond(m_port->settings());
    if (data.isEmpty())
        return true;
    if (perSecond <= 0 || data.size() <= perSecond) {
        // A second or less on the line: one write.
        m_piece = data.size();
        m_acked = data.size();
        return m_port->output(data);
    }
    m_piece = qBound(qint64(16), perSecond / 10, qint64(4096));
    // The first piece is written here; its failure is the caller's to report.
    // (A port may report the bytes written before output() returns.)
    m_queued = m_piece;
    m_running = true;
    if (!m_port->output(m_data.left(m_piece))) {
        m_running = false;
        return false;
    }
    if (m_running)
        m_next.start();
    return true;
}

void FileSender::cancel()
{
    if (m_running)
        finish(Cancelled);
}

void FileSender::portGone()
{
    if (m_running)
        finish(PortFailed);
}

void FileSender::writeNext()
{
    if (!m_running || m_queued >= m_data.size())
        return;
    // At most two pieces wait in the port.
    if (m_queued - m_acked > m_piece)
        return;
    const qint64 n = qMin(m_piece, m_data.size() - m_queued);
    const QByteArray piece = m_data.mid(m_queued, n);
    m_queued += n;
    if (!m_port->output(piece))
        finish(PortFailed);
}

void FileSender::onBytesWritten(qint64 n)
{
    if (!m_running || n <= 0)
        return;
    // Other writers' bytes are reported too; the file's share never exceeds
    // what was queued for it.
    m_acked = qMin(m_queued, m_acked + n);
    emit progress(m_acked, m_data.size());
    if (m_acked >= m_data.size()) {
        finish(Completed);
        return;
    }
    if (m_queued < m_data.size() && !m_next.isActive())
        m_next.start();
}

void FileSender::finish(Result result)
{
    m_running = false;
    m_next.stop();
    emit finished(result);
}
