#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class RtuClient;
class RtuReply;

// Looks for boards on the line through an RtuClient: reads the relays at
// every address of a range, or tries the broadcast search at each baud rate
// of a list. The search can find one board per bus at most: several boards
// answer it at once and their answers collide. One request at a time, never
// blocking; cancel() stops after the request under way.
class BusScan : public QObject
{
    Q_OBJECT
public:
    explicit BusScan(RtuClient *client, QObject *parent = nullptr);

    void scanAddresses(int from, int to);
    // setLine(baud) reopens the port at that rate (false: skip it); restore()
    // puts the port's own settings back at the end, cancelled or not.
    void sweepBauds(const QList<int> &bauds, std::function<bool(int baud)> setLine, std::function<void()> restore);
    void cancel();
    bool running() const { return m_running; }

signals:
    void progress(int done, int total);
    // baud 0: found at the port's own rate.
    void found(int address, int baud);
    void finished(bool cancelled);

private:
    void next();
    void end(bool cancelled);

    RtuClient *m_client;
    QPointer<RtuReply> m_reply;
    bool m_running = false;
    bool m_cancel = false;
    bool m_sweep = false;
    QList<int> m_items; // addresses or baud rates
    int m_done = 0;
    std::function<bool(int)> m_setLine;
    std::function<void()> m_restore;
};
