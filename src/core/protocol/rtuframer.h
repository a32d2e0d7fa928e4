#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// What the framer found on the line.
struct RtuFrame
{
    enum Kind {
        Frame,  // a whole frame with a valid CRC
        BadCrc, // the expected answer's shape and length, but a wrong CRC
        Noise,  // bytes that form no frame
    };
    Kind kind = Noise;
    QByteArray bytes;
    qint64 timeUs = 0; // when the last of its bytes arrived (the caller's clock)
};

// Splits the bytes received from a MODBUS RTU line into frames. A frame's
// length follows from its function code: requests and answers of the
// functions the relay board speaks, exception answers and the board's search
// answer (00 34 00 N). A candidate whose CRC holds is a frame; otherwise the
// head byte is noise and the search goes on one byte later. A candidate that
// still lacks bytes is waited for until the line has been silent for 3.5
// characters: then what waits is searched once more and the rest is noise.
// Noise is reported, never hidden.
//
// The framer keeps no clock of its own: every call carries the time, so tests
// drive it with an injected clock.
class RtuFramer
{
public:
    explicit RtuFramer(qint64 gapUs = frameGapUs(9600, 10)) : m_gapUs(gapUs) {}

    void setGapUs(qint64 gapUs) { m_gapUs = gapUs; }
    qint64 gapUs() const { return m_gapUs; }

    // The answer the caller waits for: a head of this address and function
    // that is this long but fails its CRC is reported as BadCrc (a garbled
    // answer) rather than as noise. A length below 4 (address, function,
    // CRC) expects nothing.
    void expect(uint8_t address, uint8_t function, int length);
    void expectNothing() { m_expectLength = 0; }

    // Received bytes at time nowUs. A gap of at least gapUs since the last
    // bytes ends whatever was waiting before these are looked at.
    QList<RtuFrame> feed(const QByteArray &bytes, qint64 nowUs);
    // The line has been silent: what waits can no longer grow.
    QList<RtuFrame> silence(qint64 nowUs);
    // Drops what waits (reported as noise), e.g. before a new request.
    QList<RtuFrame> reset(qint64 nowUs) { return silence(nowUs); }

    int pending() const { return int(m_buffer.size()); }
    qint64 lastBytesUs() const { return m_lastUs; }

    // 3.5 character times at this baud rate (1750 us above 19200 baud, as
    // the RTU rules fix it), for characters of bitsPerChar bits (start, data,
    // parity, stop).
    static qint64 frameGapUs(int baud, int bitsPerChar);
    // Time on the wire for count characters.
    static qint64 transmitUs(int count, int baud, int bitsPerChar);

    // Lengths a frame starting with head could have; 0 in the list means
    // "more bytes are needed to tell". Empty: no frame starts here.
    static QList<int> candidateLengths(const QByteArray &head);

private:
    QList<RtuFrame> split(bool lineSilent, qint64 nowUs);

    QByteArray m_buffer;
    qint64 m_gapUs;
    qint64 m_lastUs = 0;
    uint8_t m_expectAddress = 0;
    uint8_t m_expectFunction = 0;
    int m_expectLength = 0;
};

// One line in words for a frame of this line, e.g. "read relays, address 33"
// or "relay states 0x5A, address 33".
QString describeRtuFrame(const QByteArray &frame);
