#pragma once

#include "protocol/rtuclient.h"

#include <QObject>
#include <QString>

#include <functional>
#include <limits>

class SerialPort;

// Checks the answers to the requests the window sends, beside the reply
// parser (which it never touches): every frame written is matched, through
// an RtuClient in watching mode, with what comes back within a timeout
// derived from the baud rate. It keeps the counts and the last problem in
// plain words for the status line.
class AnswerCheck : public QObject
{
    Q_OBJECT
public:
    explicit AnswerCheck(SerialPort *port, QObject *parent = nullptr);

    RtuClient *client() { return &m_client; }
    // "9600,N,8,1": the frame gap and the timeouts follow from it.
    void setLine(const QString &settingsText);

    int answered() const { return m_answered; }
    int noAnswer() const { return m_noAnswer; }
    int crcErrors() const { return m_crcErrors; }
    QString lastMessage() const { return m_message; }
    // The counts and the last message, for the status line.
    QString lineText() const;

    // Received bytes are framed only while an answer is awaited, unless the
    // whole line is watched (the bus monitor is in use): a stream nobody
    // asked for then costs the receive path nothing.
    void setWatchAll(bool all) { m_watchAll = all; }
    // Received bytes are being framed: their timing counts.
    bool framing() const { return m_watchAll || m_client.busy(); }
    // How long the port may leave the line unread at this moment, in ms. The
    // bytes of a paused read are stamped up to a pause late, so a silence
    // between two frames can look that much shorter. While every frame on the
    // line is timed (the monitor), a pause lasts at most a quarter of the
    // frame gap; while only an answer is awaited, half of it: the answer
    // comes in one burst and its end is the silence after it, found at most
    // a pause late. Otherwise any pause.
    int readPauseLimitMs() const
    {
        if (m_watchAll)
            return int(m_client.gapUs() / 4000);
        if (m_client.busy())
            return int(m_client.gapUs() / 2000);
        return std::numeric_limits<int>::max();
    }

    // A message from elsewhere (an opening that failed, a reconnect).
    void note(const QString &message);
    void clear();

public slots:
    // A frame the window wrote to the port.
    void frameWritten(const QByteArray &frame);
    // Bytes the window received from the port.
    void bytesReceived(const QByteArray &bytes);

signals:
    void changed();

private:
    void finished(const RtuResult &result);

    RtuClient m_client;
    bool m_watchAll = false;
    int m_answered = 0;
    int m_noAnswer = 0;
    int m_crcErrors = 0;
    QString m_message;
};
