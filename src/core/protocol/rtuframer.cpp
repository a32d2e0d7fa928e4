#include "protocol/rtuframer.h"

#include "protocol/frames.h"

namespace {

uint8_t at(const QByteArray &b, int i) { return uint8_t(b.at(i)); }
uint16_t word(const QByteArray &b, int i) { return uint16_t(at(b, i) << 8 | at(b, i + 1)); }

// Largest RTU frame: 256 bytes; smallest: address, function, CRC.
constexpr int kMaxFrame = 256;
constexpr int kMinFrame = 4;

// The lengths a frame starting at head could have (see candidateLengths);
// at most two, kept without an allocation as the framer asks at every byte.
struct Lengths
{
    int len[2] = {0, 0};
    int count = 0;
    void add(int length)
    {
        if (length >= 0)
            len[count++] = length;
    }
};

Lengths lengthsAt(const uint8_t *h, qsizetype size)
{
    Lengths out;
    if (size < 2) {
        out.add(0);
        return out;
    }
    const uint8_t fn = h[1];
    auto counted = [h, size](int countAt, int before) {
        if (size <= countAt)
            return 0;
        const int len = before + h[countAt] + 2;
        return len <= kMaxFrame ? len : -1;
    };
    if (fn & 0x80) {
        out.add(5); // exception answer: A fn|80 code CRC
        return out;
    }
    switch (fn) {
    case 0x01: case 0x02: case 0x03: case 0x04:
        out.add(counted(2, 3)); // answer: A fn n data.. CRC
        out.add(8);             // request: A fn start count CRC
        break;
    case 0x05: case 0x06:
        out.add(8); // request, and its echo
        break;
    case 0x0F: case 0x10:
        out.add(8);             // answer: A fn start count CRC
        out.add(counted(6, 7)); // request: A fn start count n data.. CRC
        break;
    case 0x88:
        out.add(counted(2, 3)); // direct output: A 88 n outputs.. CRC
        break;
    case 0x34:
        if (h[0] == 0x00)
            out.add(6); // search answer: 00 34 00 N CRC
        break;
    default:
        break;
    }
    return out;
}

// A frame can start one byte before this one: it is a function code the
// framer knows (0x34 only after 00), or an exception's.
bool mayBeFunction(uint8_t fn)
{
    return (fn & 0x80) || (fn >= 0x01 && fn <= 0x06) || fn == 0x0F || fn == 0x10 || fn == 0x34;
}

} // namespace

qint64 RtuFramer::frameGapUs(int baud, int bitsPerChar)
{
    if (baud <= 0)
        return 1750;
    if (baud > 19200)
        return 1750;
    return (qint64(35) * bitsPerChar * 1000000 + qint64(10) * baud - 1) / (qint64(10) * baud);
}

qint64 RtuFramer::transmitUs(int count, int baud, int bitsPerChar)
{
    if (baud <= 0)
        return 0;
    return (qint64(count) * bitsPerChar * 1000000 + baud - 1) / baud;
}

void RtuFramer::expect(uint8_t address, uint8_t function, int length)
{
    m_expectAddress = address;
    m_expectFunction = function;
    // No frame is shorter than its address, function and CRC: a shorter
    // length cannot be garbled into a frame, and expects nothing.
    m_expectLength = length >= kMinFrame ? length : 0;
}

QList<int> RtuFramer::candidateLengths(const QByteArray &head)
{
    const Lengths found = lengthsAt(reinterpret_cast<const uint8_t *>(head.constData()), head.size());
    return QList<int>(found.len, found.len + found.count);
}

QList<RtuFrame> RtuFramer::feed(const QByteArray &bytes, qint64 nowUs)
{
    QList<RtuFrame> out;
    if (!m_buffer.isEmpty() && nowUs - m_lastUs >= m_gapUs)
        out = split(true, m_lastUs);
    if (bytes.isEmpty())
        return out;
    m_buffer += bytes;
    m_lastUs = nowUs;
    out += split(false, nowUs);
    return out;
}

QList<RtuFrame> RtuFramer::silence(qint64 nowUs)
{
    Q_UNUSED(nowUs);
    return split(true, m_lastUs);
}

QList<RtuFrame> RtuFramer::split(bool lineSilent, qint64 nowUs)
{
    // The buffer is searched in place and what was taken from its head is
    // removed once at the end: a long run of noise costs one pass, not a
    // move of the buffer per byte.
    QList<RtuFrame> out;
    const auto *data = reinterpret_cast<const uint8_t *>(m_buffer.constData());
    const qsizetype size = m_buffer.size();
    qsizetype pos = 0;
    qsizetype noiseFrom = 0;
    auto flushNoise = [&] {
        if (pos > noiseFrom)
            out.append(RtuFrame{RtuFrame::Noise, m_buffer.mid(noiseFrom, pos - noiseFrom), nowUs});
    };
    auto take = [&](RtuFrame::Kind kind, int length) {
        flushNoise();
        out.append(RtuFrame{kind, m_buffer.mid(pos, length), nowUs});
        pos += length;
        noiseFrom = pos;
    };
    while (pos < size) {
        // Text and other noise: the bytes before one that may be a function
        // code start no frame.
        while (pos + 1 < size && !mayBeFunction(data[pos + 1]) && data[pos + 1] != m_expectFunction)
            ++pos;
        const uint8_t *head = data + pos;
        const qsizetype left = size - pos;
        bool waiting = false;
        int found = 0;
        const Lengths lengths = lengthsAt(head, left);
        for (int i = 0; i < lengths.count; ++i) {
            const int len = lengths.len[i];
            if (len == 0 || len > left) {
                waiting = true;
                continue;
            }
            if (frames::hasValidCrc(head, len)) {
                found = len;
                break;
            }
        }
        if (found > 0) {
            take(RtuFrame::Frame, found);
            continue;
        }
        // The awaited answer, garbled: report it whole so that the caller
        // can tell a CRC error from a silent line.
        const int exception = m_expectFunction | 0x80;
        const int expected = left < 2 ? 0 : head[1] == exception ? 5 : m_expectLength;
        if (m_expectLength > 0 && expected > 0 && left >= expected && head[0] == m_expectAddress
            && (head[1] == m_expectFunction || head[1] == exception)) {
            take(RtuFrame::BadCrc, expected);
            continue;
        }
        if (waiting && !lineSilent)
            break;
        ++pos; // the head byte is noise
    }
    flushNoise();
    m_buffer.remove(0, pos);
    return out;
}

QString describeRtuFrame(const QByteArray &f)
{
    if (f.size() < 4)
        return QStringLiteral("short frame");
    const uint8_t a = at(f, 0), fn = at(f, 1);
    const QString who = a == 0 ? QStringLiteral("broadcast") : QStringLiteral("address %1").arg(a);
    auto hex2 = [](uint8_t v) { return QStringLiteral("0x") + QString::number(v, 16).rightJustified(2, QLatin1Char('0')).toUpper(); };
    if (fn & 0x80)
        return QStringLiteral("exception %1 to function %2, %3")
            .arg(at(f, 2), 2, 16, QLatin1Char('0'))
            .arg(fn & 0x7F, 2, 16, QLatin1Char('0'))
            .arg(who);
    switch (fn) {
    case 0x01:
    case 0x02: {
        const QString what = fn == 0x01 ? QStringLiteral("relay") : QStringLiteral("input");
        if (f.size() == 8)
            return QStringLiteral("read %1s, %2").arg(what, who);
        if (f.size() == 6 && at(f, 2) == 1)
            return QStringLiteral("%1 states %2, %3").arg(what, hex2(at(f, 3)), who);
        return QStringLiteral("%1 states, %2").arg(what, who);
    }
    case 0x05:
        return QStringLiteral("write relay %1, %2").arg(word(f, 2)).arg(who);
    case 0x06:
        switch (word(f, 2)) {
        case 0x0033: return QStringLiteral("search");
        case 0x0000: return QStringLiteral("set address %1, %2").arg(word(f, 4)).arg(who);
        case 0x0069: return QStringLiteral("reset, %1").arg(who);
        case 0x1370: return QStringLiteral("input reports %1, %2").arg(word(f, 4) ? "on" : "off", who);
        default: return QStringLiteral("write register 0x%1, %2").arg(word(f, 2), 4, 16, QLatin1Char('0')).arg(who);
        }
    case 0x0F:
        if (f.size() == 8)
            return QStringLiteral("relays written, %1").arg(who);
        if (f.size() >= 10)
            return QStringLiteral("write relays %1, %2").arg(hex2(at(f, 7)), who);
        return QStringLiteral("write relays, %1").arg(who);
    case 0x10:
        if (word(f, 2) == 0x0077 && f.size() == 8)
            return QStringLiteral("program step written, %1").arg(who);
        if (word(f, 2) == 0x0077 && f.size() >= 12)
            return QStringLiteral("program step %1, %2").arg(at(f, 7)).arg(who);
        return QStringLiteral("write registers, %1").arg(who);
    case 0x34:
        return QStringLiteral("search answer: address %1").arg(at(f, 3));
    case 0x88:
        return QStringLiteral("direct output, %1").arg(who);
    default:
        return QStringLiteral("function 0x%1, %2").arg(fn, 2, 16, QLatin1Char('0')).arg(who);
    }
}
