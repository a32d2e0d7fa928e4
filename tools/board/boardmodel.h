#pragma once

#include "logic/logicstep.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

namespace board {

// Cuts MODBUS RTU requests out of a byte stream. A request's length follows
// from its function code (and, for the writes of several values, its byte
// count); a candidate whose CRC does not match, or whose function code the
// board does not know, loses its first byte and the search goes on one byte
// later. So garbage in front of a request is skipped and a request split over
// several reads is put back together.
class FrameSplitter
{
public:
    // Appends received bytes.
    void feed(const QByteArray &bytes) { m_buffer += bytes; }
    // Takes the next complete request with a valid CRC, or returns an empty
    // array when none is complete yet. Bytes dropped while searching are
    // counted in discarded().
    QByteArray next();
    // The line went quiet: whatever is still waiting cannot be the start of a
    // request still on its way (requests arrive in one piece), so search what
    // waits for requests and drop the rest. Returns the requests found.
    QList<QByteArray> flush();

    int pending() const { return int(m_buffer.size()); }
    qint64 discarded() const { return m_discarded; }

    // Length of a request starting with these bytes: >0 the length, 0 more
    // bytes are needed to tell, -1 no request starts here.
    static int requestLength(const QByteArray &head);

private:
    QByteArray m_buffer;
    qint64 m_discarded = 0;
};

// What the board holds.
struct BoardState
{
    uint8_t address = 33;
    uint8_t written = 0;  // relay byte of the last relay write (bit k = Yk)
    uint8_t inputs = 0;   // bit k = Xk
    bool report = false;  // send the input byte on every input change
    std::array<LogicStep, 8> steps{};

    BoardState()
    {
        for (int i = 0; i < 8; ++i)
            steps[i].stepNo = uint8_t(i + 1);
    }
};

// The relays the program switches on for these inputs. A step whose AND and
// OR masks are both zero is inactive. An active step switches its output
// relays on while all of its AND inputs are on (when it has any) and at least
// one of its OR inputs is on (when it has any).
uint8_t programDrive(const std::array<LogicStep, 8> &steps, uint8_t inputs);

// The board: state plus the handling of one request. Widget-free; the
// transport feeds it bytes and sends what it returns.
class BoardModel : public QObject
{
    Q_OBJECT
public:
    explicit BoardModel(QObject *parent = nullptr);

    const BoardState &state() const { return m_state; }
    uint8_t address() const { return m_state.address; }
    uint8_t inputs() const { return m_state.inputs; }
    bool reporting() const { return m_state.report; }
    // Relay outputs as they stand: driven by the program or, where the program
    // drives nothing, as last written.
    uint8_t relays() const;

    // Received bytes in; the answers to send back out, in order (often none).
    QList<QByteArray> receive(const QByteArray &bytes);
    // The line went quiet (see FrameSplitter::flush).
    QList<QByteArray> lineIdle();
    // Handles one complete request whose CRC was checked by the caller.
    QByteArray handleRequest(const QByteArray &frame);

    // Local changes (the board's switches, the headless commands). Changing
    // the inputs while reporting is on returns the input answer to send.
    QByteArray setInputs(uint8_t inputs);
    QByteArray setInput(int k, bool on);
    void setAddress(uint8_t address);
    void setWrittenRelays(uint8_t relays);
    void setReport(bool on);
    void setStep(const LogicStep &step); // stepNo 1..8

    // Requests carried out (for this board or broadcast) and bytes ignored.
    qint64 framesHandled() const { return m_handled; }
    const FrameSplitter &splitter() const { return m_splitter; }

    // The answers the board sends.
    static QByteArray searchAnswer(uint8_t address);           // 00 34 00 N CRC
    static QByteArray stateAnswer(uint8_t a, uint8_t fn, uint8_t value); // A fn 01 V CRC
    static QByteArray exceptionAnswer(uint8_t a, uint8_t fn, uint8_t code); // A fn|80 code CRC

    // One line describing a request, for the log.
    static QString describe(const QByteArray &frame);

signals:
    void changed();
    // Every request for this board or broadcast, and what was sent back.
    void frameSeen(const QByteArray &frame, const QString &what);

private:
    QByteArray handleWriteRegister(const QByteArray &f, bool broadcast);
    QByteArray inputReport() const;

    BoardState m_state;
    FrameSplitter m_splitter;
    qint64 m_handled = 0;
};

// Ways to misbehave for fault tests, applied to everything the board sends.
struct Misbehaviour
{
    bool silent = false;  // send nothing at all (requests are still carried out)
    bool corrupt = false; // every answer goes out with a wrong CRC
    bool noise = false;   // a few stray bytes go out in front of every answer
    int delayMs = 0;      // everything goes out this much later
};

// The bytes actually sent for an answer under the misbehaviour. Noise bytes
// never equal 0x00 or the board's address, so they cannot start an answer.
QByteArray shapeOutgoing(const QByteArray &answer, const Misbehaviour &m, uint8_t address, quint32 *noiseSeed);

QString hexBytes(const QByteArray &bytes);

} // namespace board
