#include "ptytransport.h"

#include "serial/ptyline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace board {

namespace {
// Bytes kept for a peer that does not read; older ones are dropped beyond it.
constexpr int kMaxQueued = 64 * 1024;
} // namespace

PtyTransport::PtyTransport(QObject *parent) : QObject(parent) {}

PtyTransport::~PtyTransport()
{
    close();
}

bool PtyTransport::open()
{
    if (isOpen())
        return true;
    // The slave is held open by us too: that keeps the master from reporting
    // a hang-up (and waking us without end) while the program has it closed.
    const PtyLine line = PtyLine::open();
    if (!line.ok()) {
        m_error = line.error;
        return false;
    }
    m_slavePath = line.slavePath;
    m_keepSlave = line.keepSlave;
    const int master = line.master;
    m_master = master;
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyTransport::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyTransport::onWritable);
    return true;
}

bool PtyTransport::lineSettings(int *baud, char *parity) const
{
    // The two sides of a pseudo-terminal share one set of terminal settings:
    // what the program set on its side is read here.
    termios t{};
    const int fd = m_keepSlave >= 0 ? m_keepSlave : m_master;
    if (fd < 0 || ::tcgetattr(fd, &t) != 0)
        return false;
    static const struct { speed_t code; int baud; } speeds[] = {
        {B300, 300},     {B600, 600},     {B1200, 1200},     {B2400, 2400},     {B4800, 4800},
        {B9600, 9600},   {B19200, 19200}, {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
        {B230400, 230400},
    };
    const speed_t code = ::cfgetospeed(&t);
    *baud = 0;
    for (const auto &s : speeds)
        if (s.code == code)
            *baud = s.baud;
    *parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    return true;
}

bool PtyTransport::linkAt(const QString &path)
{
    if (!isOpen())
        return false;
    const QFileInfo fi(path);
    QDir().mkpath(fi.absolutePath());
    if (fi.isSymLink() || fi.exists())
        QFile::remove(path);
    if (!QFile::link(m_slavePath, path)) {
        m_error = QStringLiteral("cannot link %1").arg(path);
        return false;
    }
    m_link = path;
    return true;
}

void PtyTransport::removeLink()
{
    if (m_link.isEmpty())
        return;
    // Only our own link: another board may have been linked there since.
    if (QFileInfo(m_link).symLinkTarget() == QFileInfo(m_slavePath).absoluteFilePath())
        QFile::remove(m_link);
    m_link.clear();
}

void PtyTransport::write(const QByteArray &bytes)
{
    if (!isOpen() || bytes.isEmpty())
        return;
    m_out += bytes;
    if (m_out.size() > kMaxQueued)
        m_out.remove(0, m_out.size() - kMaxQueued);
    flushOut();
}

void PtyTransport::flushOut()
{
    while (!m_out.isEmpty() && m_master >= 0) {
        const ssize_t n = ::write(m_master, m_out.constData(), size_t(m_out.size()));
        if (n > 0) {
            m_out.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: wait for the line to take more
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_out.isEmpty());
}

void PtyTransport::onWritable()
{
    flushOut();
}

void PtyTransport::onReadable()
{
    QByteArray got;
    char buf[1024];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EIO) {
            // No slave is open (not even ours): nothing to read until the
            // program opens it again; stop listening rather than spin.
            if (m_keepSlave < 0 && m_readNotifier)
                m_readNotifier->setEnabled(false);
        }
        break;
    }
    if (!got.isEmpty())
        emit received(got);
}

void PtyTransport::close()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_keepSlave >= 0) {
        ::close(m_keepSlave);
        m_keepSlave = -1;
    }
    m_out.clear();
    removeLink();
}

} // namespace board
