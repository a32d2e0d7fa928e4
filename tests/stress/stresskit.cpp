#include "stresskit.h"

#include "protocol/frames.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace stress {

double scale()
{
    bool ok = false;
    const double s = qEnvironmentVariable("KESTRUNE_STRESS_SCALE").toDouble(&ok);
    return ok && s > 0 ? s : 1.0;
}

int scaled(int n, int minimum)
{
    return qMax(minimum, int(n * scale()));
}

Peer::Peer(PtyPair &pty, bool answer)
    : m_pty(pty), m_notifier(pty.masterFd(), QSocketNotifier::Read), m_answer(answer)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, [this] { readNow(); });
}

void Peer::readNow()
{
    if (m_pulled)
        return;
    const QByteArray bytes = m_pty.readAvailable();
    if (bytes.isEmpty())
        return;
    received += bytes;
    if (m_answer) {
        for (const QByteArray &a : model.receive(bytes))
            m_pty.write(a);
    }
    if (onBytes)
        onBytes();
}

void Peer::pull()
{
    if (m_pulled)
        return;
    m_pulled = true;
    m_notifier.setEnabled(false);
    m_pty.closeMaster();
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check, limit;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start(5);
    limit.setSingleShot(true);
    limit.start(timeoutMs);
    loop.exec();
    return done();
}

qint64 rssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool splitFrames(const QByteArray &line, QList<QByteArray> *out, qsizetype *badAt)
{
    static const QByteArray greeting = frames::PortGreetingFrame();
    qsizetype pos = 0;
    while (pos < line.size()) {
        if (line.mid(pos, greeting.size()) == greeting) {
            out->append(greeting);
            pos += greeting.size();
            continue;
        }
        const QByteArray rest = line.mid(pos);
        const int len = board::FrameSplitter::requestLength(rest);
        if (len <= 0 || len > rest.size() || !frames::hasValidCrc(rest.left(len))) {
            *badAt = pos;
            return false;
        }
        out->append(rest.left(len));
        pos += len;
    }
    return true;
}

} // namespace stress
