#pragma once

// Shared pieces of the stress tests: the length scale, a peer on the master
// side of a pseudo-terminal that answers as the board, event counting, and
// resident memory.

#include "boardmodel.h"
#include "pty.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>

#include <functional>

namespace stress {

// KESTRUNE_STRESS_SCALE (default 1) scales durations, counts and sizes; the
// sanitizer build runs the tests shorter.
double scale();
int scaled(int n, int minimum = 1);

// The peer of the tool on a pseudo-terminal: records every byte the tool
// wrote and, when answering, answers as the virtual board's model does.
class Peer : public QObject
{
public:
    explicit Peer(PtyPair &pty, bool answer = true);
    // Closes the master side: the tool's line is gone.
    void pull();
    bool pulled() const { return m_pulled; }

    QByteArray received;
    board::BoardModel model;
    // Runs after every read.
    std::function<void()> onBytes;

private:
    void readNow();
    PtyPair &m_pty;
    QSocketNotifier m_notifier;
    bool m_answer;
    bool m_pulled = false;
};

// Counts every event the application delivers while it lives.
class EventCounter : public QObject
{
public:
    EventCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~EventCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
    qint64 count = 0;

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        ++count;
        return false;
    }
};

// Runs the event loop until done() holds or timeoutMs passed; true when it
// holds. Unlike QTest::qWaitFor, which sleeps 10 ms between rounds of
// events, the loop runs without pause, as the program's own loop does.
bool waitFor(const std::function<bool()> &done, int timeoutMs);

// Resident memory of this process in KiB.
qint64 rssKb();

// The line as a sequence of frames: every byte must belong to the port
// greeting (AA B3 F5) or to a request of its function's length with a valid
// CRC. False (with the offset in *badAt) when some byte does not.
bool splitFrames(const QByteArray &line, QList<QByteArray> *frames, qsizetype *badAt);

} // namespace stress
