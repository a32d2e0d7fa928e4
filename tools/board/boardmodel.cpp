#include "boardmodel.h"

#include "protocol/frames.h"

namespace board {

namespace {

uint8_t at(const QByteArray &f, int i) { return uint8_t(f.at(i)); }
uint16_t word(const QByteArray &f, int i) { return uint16_t(at(f, i) << 8 | at(f, i + 1)); }

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(uint8_t(v)));
    return b;
}

// Largest byte count the board accepts in a request; anything larger is
// garbage, not a request still arriving.
constexpr int kMaxByteCount = 64;

enum Exception : uint8_t { IllegalFunction = 1, IllegalAddress = 2, IllegalValue = 3 };

} // namespace

QString hexBytes(const QByteArray &b)
{
    return QString::fromLatin1(b.toHex(' ').toUpper());
}

// ---------------------------------------------------------------- splitter

int FrameSplitter::requestLength(const QByteArray &head)
{
    if (head.size() < 2)
        return 0;
    switch (at(head, 1)) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06:
        return 8;
    case 0x0F: case 0x10:
        if (head.size() < 7)
            return 0;
        return at(head, 6) <= kMaxByteCount ? 7 + at(head, 6) + 2 : -1;
    case 0x88:
        if (head.size() < 3)
            return 0;
        return at(head, 2) <= kMaxByteCount ? 3 + at(head, 2) + 2 : -1;
    default:
        return -1;
    }
}

QByteArray FrameSplitter::next()
{
    for (;;) {
        const int len = requestLength(m_buffer);
        if (len == 0 || len > m_buffer.size())
            return QByteArray();
        if (len > 0) {
            const QByteArray candidate = m_buffer.left(len);
            if (frames::hasValidCrc(candidate)) {
                m_buffer.remove(0, len);
                return candidate;
            }
        }
        m_buffer.remove(0, 1);
        ++m_discarded;
    }
}

QList<QByteArray> FrameSplitter::flush()
{
    QList<QByteArray> found;
    while (!m_buffer.isEmpty()) {
        const QByteArray f = next();
        if (!f.isEmpty()) {
            found.append(f);
            continue;
        }
        if (m_buffer.isEmpty())
            break;
        // The head waits for bytes that will not come.
        m_buffer.remove(0, 1);
        ++m_discarded;
    }
    return found;
}

// ---------------------------------------------------------------- program

uint8_t programDrive(const std::array<LogicStep, 8> &steps, uint8_t inputs)
{
    uint8_t driven = 0;
    for (const LogicStep &s : steps) {
        if (s.andMask == 0 && s.orMask == 0)
            continue;
        const bool andOk = s.andMask == 0 || (inputs & s.andMask) == s.andMask;
        const bool orOk = s.orMask == 0 || (inputs & s.orMask) != 0;
        if (andOk && orOk)
            driven |= s.outMask;
    }
    return driven;
}

// ---------------------------------------------------------------- board

BoardModel::BoardModel(QObject *parent) : QObject(parent) {}

uint8_t BoardModel::relays() const
{
    return uint8_t(m_state.written | programDrive(m_state.steps, m_state.inputs));
}

QByteArray BoardModel::searchAnswer(uint8_t address)
{
    return frames::closeFrame(bytes({0x00, 0x34, 0x00, address}));
}

QByteArray BoardModel::stateAnswer(uint8_t a, uint8_t fn, uint8_t value)
{
    return frames::closeFrame(bytes({a, fn, 0x01, value}));
}

QByteArray BoardModel::exceptionAnswer(uint8_t a, uint8_t fn, uint8_t code)
{
    return frames::closeFrame(bytes({a, fn | 0x80, code}));
}

QList<QByteArray> BoardModel::receive(const QByteArray &data)
{
    m_splitter.feed(data);
    QList<QByteArray> out;
    for (QByteArray f = m_splitter.next(); !f.isEmpty(); f = m_splitter.next()) {
        const QByteArray a = handleRequest(f);
        if (!a.isEmpty())
            out.append(a);
    }
    return out;
}

QList<QByteArray> BoardModel::lineIdle()
{
    QList<QByteArray> out;
    for (const QByteArray &f : m_splitter.flush()) {
        const QByteArray a = handleRequest(f);
        if (!a.isEmpty())
            out.append(a);
    }
    return out;
}

QString BoardModel::describe(const QByteArray &f)
{
    if (f.size() < 4)
        return QStringLiteral("short frame");
    const uint8_t fn = at(f, 1);
    switch (fn) {
    case 0x01: return QStringLiteral("read relays");
    case 0x02: return QStringLiteral("read inputs");
    case 0x05: return QStringLiteral("write relay %1").arg(word(f, 2));
    case 0x06:
        switch (word(f, 2)) {
        case 0x0033: return QStringLiteral("search");
        case 0x0000: return QStringLiteral("set address %1").arg(word(f, 4));
        case 0x0069: return QStringLiteral("reset");
        case 0x1370: return QStringLiteral("input reporting %1").arg(word(f, 4) ? "on" : "off");
        default: return QStringLiteral("write register %1").arg(word(f, 2), 4, 16, QLatin1Char('0'));
        }
    case 0x0F: return QStringLiteral("write relays");
    case 0x10:
        if (word(f, 2) == 0x0077 && f.size() >= 8)
            return QStringLiteral("program step %1").arg(at(f, 7));
        return QStringLiteral("write registers");
    case 0x88: return QStringLiteral("direct output");
    default: return QStringLiteral("function %1").arg(fn, 2, 16, QLatin1Char('0'));
    }
}

QByteArray BoardModel::handleRequest(const QByteArray &f)
{
    const uint8_t a = at(f, 0);
    const bool broadcast = a == 0;
    if (!broadcast && a != m_state.address) {
        emit frameSeen(f, QStringLiteral("for address %1, ignored").arg(a));
        return QByteArray();
    }
    ++m_handled;
    const uint8_t fn = at(f, 1);
    QByteArray answer;
    switch (fn) {
    case 0x01:
    case 0x02: {
        if (broadcast)
            break; // a read cannot be answered by every board at once
        const uint16_t start = word(f, 2), count = word(f, 4);
        if (count < 1 || count > 8)
            answer = exceptionAnswer(a, fn, IllegalValue);
        else if (start + count > 8)
            answer = exceptionAnswer(a, fn, IllegalAddress);
        else {
            const uint8_t all = fn == 0x01 ? relays() : m_state.inputs;
            const uint8_t mask = uint8_t((1u << count) - 1);
            answer = stateAnswer(a, fn, uint8_t((all >> start) & mask));
        }
        break;
    }
    case 0x05: {
        const uint16_t coil = word(f, 2), value = word(f, 4);
        if (coil > 7)
            answer = exceptionAnswer(a, fn, IllegalAddress);
        else if (value != 0xFF00 && value != 0x0000)
            answer = exceptionAnswer(a, fn, IllegalValue);
        else {
            setWrittenRelays(value ? uint8_t(m_state.written | (1u << coil)) : uint8_t(m_state.written & ~(1u << coil)));
            answer = f;
        }
        break;
    }
    case 0x06:
        answer = handleWriteRegister(f, broadcast);
        break;
    case 0x0F: {
        const uint16_t start = word(f, 2), count = word(f, 4);
        const int byteCount = at(f, 6);
        if (count < 1 || count > 8 || byteCount != (count + 7) / 8)
            answer = exceptionAnswer(a, fn, IllegalValue);
        else if (start + count > 8)
            answer = exceptionAnswer(a, fn, IllegalAddress);
        else {
            const uint8_t mask = uint8_t(((1u << count) - 1) << start);
            const uint8_t bits = uint8_t((at(f, 7) << start) & mask);
            setWrittenRelays(uint8_t((m_state.written & ~mask) | bits));
            answer = frames::closeFrame(f.left(6));
        }
        break;
    }
    case 0x10: {
        // The program step: register 0x0077, "3 registers" followed by five
        // data bytes (step, AND, OR, OUT, 0) as the tool sends it.
        if (word(f, 2) != 0x0077)
            answer = exceptionAnswer(a, fn, IllegalAddress);
        else if (at(f, 6) != 5 || at(f, 7) < 1 || at(f, 7) > 8)
            answer = exceptionAnswer(a, fn, IllegalValue);
        else {
            LogicStep s;
            s.stepNo = at(f, 7);
            s.andMask = at(f, 8);
            s.orMask = at(f, 9);
            s.outMask = at(f, 10);
            setStep(s);
            answer = frames::closeFrame(f.left(6));
        }
        break;
    }
    case 0x88: {
        // Direct output: the relays become the OR of the eight output bytes.
        // The board sends no answer.
        if (at(f, 2) == 8) {
            uint8_t r = 0;
            for (int i = 0; i < 8; ++i)
                r |= at(f, 3 + i);
            setWrittenRelays(r);
        }
        break;
    }
    default:
        answer = exceptionAnswer(a, fn, IllegalFunction);
        break;
    }
    // Broadcasts get no answer; the search is the one broadcast that does.
    const bool isSearch = fn == 0x06 && word(f, 2) == 0x0033;
    if (broadcast && !isSearch)
        answer.clear();
    emit frameSeen(f, answer.isEmpty() ? describe(f) : describe(f) + QStringLiteral(" -> ") + hexBytes(answer));
    return answer;
}

QByteArray BoardModel::handleWriteRegister(const QByteArray &f, bool broadcast)
{
    const uint8_t a = at(f, 0);
    const uint16_t reg = word(f, 2), value = word(f, 4);
    switch (reg) {
    case 0x0033:
        // The search: every board answers with its address.
        return searchAnswer(m_state.address);
    case 0x0000:
        // A new address; 0 stays the broadcast address and is refused.
        if (value < 1 || value > 255)
            return broadcast ? QByteArray() : exceptionAnswer(a, 0x06, IllegalValue);
        setAddress(uint8_t(value));
        return f;
    case 0x0069:
        // Reset: relays off; address, program and reporting are kept.
        setWrittenRelays(0);
        return f;
    case 0x1370:
        setReport(value != 0);
        return f;
    default:
        return exceptionAnswer(a, 0x06, IllegalAddress);
    }
}

QByteArray BoardModel::inputReport() const
{
    return stateAnswer(m_state.address, 0x02, m_state.inputs);
}

QByteArray BoardModel::setInputs(uint8_t inputs)
{
    if (inputs == m_state.inputs)
        return QByteArray();
    m_state.inputs = inputs;
    emit changed();
    return m_state.report ? inputReport() : QByteArray();
}

QByteArray BoardModel::setInput(int k, bool on)
{
    if (k < 0 || k > 7)
        return QByteArray();
    return setInputs(on ? uint8_t(m_state.inputs | (1u << k)) : uint8_t(m_state.inputs & ~(1u << k)));
}

void BoardModel::setAddress(uint8_t address)
{
    m_state.address = address;
    emit changed();
}

void BoardModel::setWrittenRelays(uint8_t relays)
{
    m_state.written = relays;
    emit changed();
}

void BoardModel::setReport(bool on)
{
    m_state.report = on;
    emit changed();
}

void BoardModel::setStep(const LogicStep &step)
{
    if (step.stepNo < 1 || step.stepNo > 8)
        return;
    m_state.steps[step.stepNo - 1] = step;
    emit changed();
}

// ---------------------------------------------------------------- misbehaviour

QByteArray shapeOutgoing(const QByteArray &answer, const Misbehaviour &m, uint8_t address, quint32 *seed)
{
    if (m.silent || answer.isEmpty())
        return QByteArray();
    QByteArray out;
    if (m.noise) {
        // A small linear congruential generator: reproducible noise.
        for (int i = 0; i < 3; ++i) {
            uint8_t b;
            do {
                *seed = *seed * 1664525u + 1013904223u;
                b = uint8_t(*seed >> 24);
            } while (b == 0x00 || b == address);
            out.append(char(b));
        }
    }
    QByteArray a = answer;
    if (m.corrupt && a.size() >= 2)
        a[a.size() - 1] = char(uint8_t(a.at(a.size() - 1)) ^ 0x5A);
    return out + a;
}

} // namespace board
