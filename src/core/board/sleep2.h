#pragma once

#include <QObject>

// Ends every wait in progress when the program is quitting, so that handlers
// waiting in Sleep2 unwind at once instead of running on into a dying window.
class SleepGate : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    void abort()
    {
        m_aborted = true;
        emit aborted();
    }
    bool isAborted() const { return m_aborted; }
signals:
    void aborted();

private:
    bool m_aborted = false;
};

// Waits at least ms milliseconds on a monotonic clock while window events,
// timer ticks and port events keep running. It sleeps in a nested event loop
// that wakes for each event and at the deadline, so no CPU core spins.
// Returns false when the gate was aborted before the time was up.
// ms of 0 or less returns at once.
bool Sleep2(qint32 ms, SleepGate *gate = nullptr);
