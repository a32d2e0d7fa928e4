#pragma once

#include "logic/logicstep.h"
#include "protocol/rtuframer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>

class SerialPort;

// One request to the board and the answer it calls for.
struct RtuRequest
{
    enum class Answer {
        None,     // broadcasts other than the search: nobody answers
        Search,   // 00 34 00 N CRC
        State,    // A fn 01 D CRC (relay or input states)
        Echo,     // the request itself (single register writes)
        EchoHead, // the request's first six bytes and a CRC (multiple writes)
    };

    QByteArray frame;
    Answer answer = Answer::None;
    QString what; // "read relays", for messages

    uint8_t address() const { return frame.size() > 0 ? uint8_t(frame.at(0)) : 0; }
    uint8_t function() const { return frame.size() > 1 ? uint8_t(frame.at(1)) : 0; }
    int answerLength() const;

    static RtuRequest search();
    static RtuRequest setAddress(uint8_t newAddress);
    static RtuRequest readRelays(uint8_t a);
    static RtuRequest readInputs(uint8_t a);
    static RtuRequest writeRelays(uint8_t a, uint8_t relays);
    static RtuRequest reset(uint8_t a);
    static RtuRequest inputReport(uint8_t a, bool on);
    static RtuRequest step(uint8_t a, const LogicStep &step);
    // The request a frame on the line stands for, with the answer it calls
    // for; Answer::None for broadcasts and frames no answer is known for.
    static RtuRequest fromFrame(const QByteArray &frame);
};

// How a request ended.
struct RtuResult
{
    enum Status {
        Ok,
        NoAnswer,  // nothing fitting came back in time, on any try
        CrcError,  // the answer came garbled
        Exception, // the board refused the request with an exception code
        BadAnswer, // an answer of the right address and function that does not fit (wrong echo)
        PortError, // the port is closed, failed or was lost
    };

    Status status = NoAnswer;
    RtuRequest request;
    QByteArray answer;       // the answer (or the garbled one)
    uint8_t value = 0;       // the data byte of a state answer; the address of a search answer
    int exceptionCode = 0;
    int attempts = 0;
    int crcErrors = 0;
    QList<QByteArray> unexpected; // whole frames that were not the answer: other addresses, reports
    int noiseBytes = 0;           // bytes that formed no frame
    QString portError;            // the system's reason for a port error

    bool ok() const { return status == Ok; }
    // A sentence naming the cause, e.g. "no answer from address 33 (read relays), 3 tries".
    QString text() const;
    static QString statusName(Status s); // "ok", "no-answer", "crc", "exception", "bad-answer", "port"
    static QString exceptionName(int code);
};

// The answer to one request; finished() is emitted exactly once, never from
// within RtuClient::send().
class RtuReply : public QObject
{
    Q_OBJECT
public:
    bool isFinished() const { return m_finished; }
    const RtuResult &result() const { return m_result; }

signals:
    void finished();

private:
    friend class RtuClient;
    explicit RtuReply(QObject *parent) : QObject(parent) {}
    bool m_finished = false;
    RtuResult m_result;
};

// Sends requests over a SerialPort one at a time and matches what comes back:
// a request is written whole, then the answer is waited for on the event loop
// (never blocking) until a timeout; a missing or garbled answer is tried
// again up to the retries. The answer's CRC, address, function and echo are
// checked; exception answers end the request with their code. Valid frames
// that are not the answer (unsolicited input reports, other addresses) and
// noise are skipped and counted, and every frame the line carries is also
// reported through lineFrame() for monitors.
//
// The client writes to the port; received bytes come in through received().
// A caller that owns the port's receive events (the window) forwards them;
// others call attachReceive().
class RtuClient : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // microseconds, monotonic

    explicit RtuClient(SerialPort *port, QObject *parent = nullptr);

    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Baud rate and bits per character (start + data + parity + stop): the
    // frame gap, the frame times and the derived timeout follow from them.
    void setLine(int baud, int bitsPerChar);
    // The host sees the line through its adapter's latency (16 ms on common
    // USB chips), so a silence shorter than this is not taken for the end of
    // a frame. 0: exactly 3.5 characters.
    void setMinGapUs(qint64 us);
    qint64 gapUs() const { return m_framer.gapUs(); }
    // 0: derived from the baud rate (both frame times plus a margin).
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutFor(const RtuRequest &request) const;
    void setRetries(int retries) { m_retries = retries < 0 ? 0 : retries; }
    int retries() const { return m_retries; }
    // After a broadcast that gets no answer: the time the boards need to act.
    void setBroadcastPauseMs(int ms) { m_broadcastPauseMs = ms; }

    // Reads the port's receive events itself (the port's RThreshold must be at least 1).
    void attachReceive();

    // Queues a request; the reply belongs to the client until the caller
    // takes it (delete it or deleteLater once finished).
    RtuReply *send(const RtuRequest &request);

    bool busy() const { return m_active || !m_queue.isEmpty(); }

    // A request someone else has just written (the window's board commands):
    // its answer is matched and timed like that of a sent request, but
    // nothing is written and nothing is tried again. A request still waiting
    // ends first, as seen so far. Requests that call for no answer are only
    // reported through frameSent(); they return nullptr.
    RtuReply *watch(const RtuRequest &request);

public slots:
    void received(const QByteArray &bytes);

signals:
    void frameSent(const QByteArray &frame, qint64 timeUs);
    void lineFrame(const RtuFrame &frame);

private:
    struct Pending
    {
        RtuRequest request;
        QPointer<RtuReply> reply;
    };

    qint64 now() const;
    void startNext();
    void startAttempt();
    void handle(const QList<RtuFrame> &frames);
    bool match(const RtuFrame &frame);
    void onTimeout();
    void attemptFailed(RtuResult::Status status);
    void finish(RtuResult::Status status);
    void failAll(const QString &reason);

    SerialPort *m_port;
    RtuFramer m_framer;
    Clock m_clock;
    QTimer m_timeout;
    QTimer m_silence;
    int m_baud = 9600;
    int m_bitsPerChar = 10;
    qint64 m_minGapUs = 0;
    int m_timeoutMs = 0;
    int m_retries = 2;
    int m_broadcastPauseMs = 100;

    QList<Pending> m_queue;
    bool m_active = false;
    Pending m_current;
    RtuResult m_result;
    RtuResult::Status m_worst = RtuResult::NoAnswer;
    bool m_startQueued = false;
    bool m_watching = false; // the active request was written by someone else
    quint64 m_serial = 0; // counts the requests started
    QString m_lostReason; // why the port went away, for requests after that
};
