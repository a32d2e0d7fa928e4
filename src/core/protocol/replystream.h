#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QTimer;

// The reply parser at work: the received hexadecimal text waiting to be
// looked at (`tempstatus`) and the tick (`Timer2`, every 20 ms) that applies
// the answers at its head. It is fed text and emits what it found; it never
// touches a widget. Two questions it asks through plain functions: the start
// of the receive view (where the search answer is looked for) and the
// address box's text.
class ReplyStream : public QObject
{
    Q_OBJECT
public:
    explicit ReplyStream(QObject *parent = nullptr);

    // Received bytes as hexadecimal text, waiting for the parser.
    QString tempstatus;

    // The first characters of the receive view; the address box's text.
    std::function<QString(int count)> receiveHead;
    std::function<QString()> addressText;
    // Called first in every tick: takes in the bytes that have arrived.
    std::function<void()> takeInput;

    // New received text. When the tick is overdue (a busy event loop runs
    // timers late) it runs now, and so it does once kFloodBacklog characters
    // wait.
    void feed(const QString &hexText);
    // A flood brings megabytes between two ticks, which the tick then cuts
    // down to their newest part. A tick runs as soon as this much waits, so
    // the waiting text never holds more; a real line brings at most 48,000
    // characters (12 Mbaud) between two ticks and never reaches it.
    static constexpr qsizetype kFloodBacklog = 256 * 1024;
    // Received bytes that were not shown as hexadecimal: nothing to parse,
    // but an overdue tick still runs.
    void catchUp();
    void stop();
    QTimer *timer() const { return Timer2; }

public slots:
    // One tick: applies the answers at the head of tempstatus.
    void Timer2_Timer();

signals:
    void inputStateFound(uint8_t inputs);
    void relayStateFound(uint8_t relays);
    // A search answer names this address.
    void addressFound(const QString &address);
    // The receive view must show this text (something was removed from it).
    void receiveViewRewritten(const QString &text);

private:
    QTimer *Timer2 = nullptr;
    QElapsedTimer m_lastTick;
};
