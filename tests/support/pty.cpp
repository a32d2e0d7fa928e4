#include "pty.h"

#include "serial/ptyline.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <poll.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    const PtyLine line = PtyLine::open();
    m_master = line.master;
    m_slave = line.slavePath;
    m_keepSlave = line.keepSlave;
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_keepSlave >= 0)
        ::close(m_keepSlave);
}

bool PtyPair::linkAs(const QString &folder, int n) const
{
    QDir(folder).mkpath(QStringLiteral("ports"));
    const QString link = QDir(folder).filePath(QStringLiteral("ports/COM%1").arg(n));
    QFile::remove(link);
    return QFile::link(m_slave, link);
}

void PtyPair::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        } else {
            return;
        }
    }
}

bool PtyPair::waitUntilSlaveReadable(int timeoutMs) const
{
    if (m_keepSlave < 0)
        return false;
    pollfd p{m_keepSlave, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN);
}

QByteArray PtyPair::readAvailable()
{
    QByteArray out;
    if (m_master < 0)
        return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, int(n));
    }
    return out;
}

QByteArray PtyPair::readFor(int count, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (out.size() < count && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        out += readAvailable();
        if (out.size() < count)
            QThread::msleep(2);
    }
    return out;
}

void PtyPair::closeMaster()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}
