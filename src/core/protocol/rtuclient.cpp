#include "protocol/rtuclient.h"

#include "protocol/frames.h"
#include "serial/serialport.h"

#include <QElapsedTimer>

namespace {

// Added to the frame times for the board to think.
constexpr int kAnswerMarginMs = 200;

QString hexBytes(const QByteArray &b)
{
    return QString::fromLatin1(b.toHex(' ').toUpper());
}

RtuRequest make(QByteArray frame, RtuRequest::Answer answer, const char *what)
{
    RtuRequest r;
    r.frame = std::move(frame);
    r.answer = answer;
    r.what = QString::fromLatin1(what);
    return r;
}

} // namespace

// ---------------------------------------------------------------- requests

int RtuRequest::answerLength() const
{
    switch (answer) {
    case Answer::None: return 0;
    case Answer::Search: return 6;
    case Answer::State: return 6;
    case Answer::Echo: return frame.size();
    case Answer::EchoHead: return 8;
    }
    return 0;
}

RtuRequest RtuRequest::search() { return make(frames::SearchFrame(), Answer::Search, "search"); }
RtuRequest RtuRequest::setAddress(uint8_t n) { return make(frames::SetAddressFrame(n), Answer::None, "set address"); }
RtuRequest RtuRequest::readRelays(uint8_t a) { return make(frames::ReadRelaysFrame(a), Answer::State, "read relays"); }
RtuRequest RtuRequest::readInputs(uint8_t a) { return make(frames::ReadInputsFrame(a), Answer::State, "read inputs"); }
RtuRequest RtuRequest::writeRelays(uint8_t a, uint8_t r) { return make(frames::WriteRelaysFrame(a, r), Answer::EchoHead, "write relays"); }
RtuRequest RtuRequest::reset(uint8_t a) { return make(frames::ResetFrame(a), Answer::Echo, "reset"); }
RtuRequest RtuRequest::inputReport(uint8_t a, bool on) { return make(frames::InputReportFrame(a, on), Answer::Echo, "input reports"); }
RtuRequest RtuRequest::step(uint8_t a, const LogicStep &s) { return make(frames::StepFrame(a, s), Answer::EchoHead, "program step"); }

RtuRequest RtuRequest::fromFrame(const QByteArray &frame)
{
    RtuRequest r;
    r.frame = frame;
    r.what = QStringLiteral("frame");
    if (frame.size() < 4 || !frames::hasValidCrc(frame))
        return r;
    if (frame == frames::SearchFrame())
        return search();
    const uint8_t a = uint8_t(frame.at(0));
    if (a == 0) { // a broadcast: nobody answers
        if (frame.size() == 8 && frame.at(1) == 0x06 && frame.at(2) == 0 && frame.at(3) == 0)
            r.what = QStringLiteral("set address");
        return r;
    }
    switch (uint8_t(frame.at(1))) {
    case 0x01:
        if (frame.size() == 8)
            return make(frame, Answer::State, "read relays");
        break;
    case 0x02:
        if (frame.size() == 8)
            return make(frame, Answer::State, "read inputs");
        break;
    case 0x06:
        if (frame.size() == 8) {
            const int reg = (uint8_t(frame.at(2)) << 8) | uint8_t(frame.at(3));
            return make(frame, Answer::Echo, reg == 0x0069 ? "reset" : reg == 0x1370 ? "input reports" : "write register");
        }
        break;
    case 0x0F:
        if (frame.size() == 10)
            return make(frame, Answer::EchoHead, "write relays");
        break;
    case 0x10:
        if (frame.size() >= 9)
            return make(frame, Answer::EchoHead, "program step");
        break;
    default:
        break;
    }
    return r;
}

// ---------------------------------------------------------------- results

QString RtuResult::statusName(Status s)
{
    switch (s) {
    case Ok: return QStringLiteral("ok");
    case NoAnswer: return QStringLiteral("no-answer");
    case CrcError: return QStringLiteral("crc");
    case Exception: return QStringLiteral("exception");
    case BadAnswer: return QStringLiteral("bad-answer");
    case PortError: return QStringLiteral("port");
    }
    return QString();
}

QString RtuResult::exceptionName(int code)
{
    switch (code) {
    case 1: return QStringLiteral("illegal function");
    case 2: return QStringLiteral("illegal data address");
    case 3: return QStringLiteral("illegal data value");
    case 4: return QStringLiteral("device failure");
    case 6: return QStringLiteral("device busy");
    default: return QStringLiteral("exception");
    }
}

QString RtuResult::text() const
{
    const uint8_t a = request.address();
    const QString who = request.answer == RtuRequest::Answer::Search ? QStringLiteral("any board")
                                                                     : QStringLiteral("address %1").arg(a);
    const QString tries = attempts == 1 ? QStringLiteral("1 try") : QStringLiteral("%1 tries").arg(attempts);
    switch (status) {
    case Ok:
        return QStringLiteral("%1: ok").arg(request.what);
    case NoAnswer: {
        QString s = QStringLiteral("no answer from %1 (%2), %3").arg(who, request.what, tries);
        QList<int> others;
        for (const QByteArray &f : unexpected)
            if (f.size() > 0 && uint8_t(f.at(0)) != a && !others.contains(uint8_t(f.at(0))))
                others << uint8_t(f.at(0));
        if (!others.isEmpty() && request.answer != RtuRequest::Answer::Search) {
            QStringList list;
            for (int o : others)
                list << QString::number(o);
            s += QStringLiteral("; address %1 answered instead").arg(list.join(QLatin1String(", ")));
        }
        if (noiseBytes > 0)
            s += QStringLiteral("; %1 bytes of noise").arg(noiseBytes);
        return s;
    }
    case CrcError:
        return QStringLiteral("the answers of %1 (%2) failed their CRC check %3 times")
            .arg(who, request.what)
            .arg(crcErrors);
    case Exception:
        return QStringLiteral("%1 refused %2: exception %3 (%4)")
            .arg(who, request.what)
            .arg(exceptionCode, 2, 16, QLatin1Char('0'))
            .arg(exceptionName(exceptionCode));
    case BadAnswer:
        return QStringLiteral("%1 answered %2 with %3, which does not fit").arg(who, request.what, hexBytes(answer));
    case PortError:
        return QStringLiteral("the port failed (%1)").arg(portError);
    }
    return QString();
}

// ---------------------------------------------------------------- client

RtuClient::RtuClient(SerialPort *port, QObject *parent) : QObject(parent), m_port(port)
{
    auto *started = new QElapsedTimer;
    started->start();
    m_clock = [started] { return started->nsecsElapsed() / 1000; };
    connect(this, &QObject::destroyed, [started] { delete started; });

    m_timeout.setSingleShot(true);
    m_silence.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &RtuClient::onTimeout);
    connect(&m_silence, &QTimer::timeout, this, [this] { handle(m_framer.silence(now())); });
    if (m_port)
        connect(m_port, &SerialPort::portLost, this, &RtuClient::failAll);
    setLine(9600, 10);
}

qint64 RtuClient::now() const
{
    return m_clock();
}

void RtuClient::setLine(int baud, int bitsPerChar)
{
    m_baud = baud;
    m_bitsPerChar = bitsPerChar;
    m_framer.setGapUs(qMax(RtuFramer::frameGapUs(baud, bitsPerChar), m_minGapUs));
}

void RtuClient::setMinGapUs(qint64 us)
{
    m_minGapUs = us;
    setLine(m_baud, m_bitsPerChar);
}

int RtuClient::timeoutFor(const RtuRequest &request) const
{
    if (m_timeoutMs > 0)
        return m_timeoutMs;
    const qint64 us = RtuFramer::transmitUs(int(request.frame.size()) + request.answerLength(), m_baud, m_bitsPerChar)
        + m_framer.gapUs();
    return int((us + 999) / 1000) + kAnswerMarginMs;
}

void RtuClient::attachReceive()
{
    if (!m_port)
        return;
    connect(m_port, &SerialPort::OnComm, this, [this] {
        if (m_port->commEvent() == SerialPort::comEvReceive)
            received(m_port->input());
    });
}

RtuReply *RtuClient::send(const RtuRequest &request)
{
    auto *reply = new RtuReply(this);
    m_queue.append(Pending{request, reply});
    // Started from the event loop, so that every outcome, even an immediate
    // port failure, reaches a caller that connects after send() returned.
    if (!m_active && !m_startQueued) {
        m_startQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_startQueued = false;
            startNext();
        });
    }
    return reply;
}

RtuReply *RtuClient::watch(const RtuRequest &request)
{
    if (m_active) {
        // What arrived so far is all the earlier request gets.
        handle(m_framer.silence(now()));
        if (m_active)
            finish(RtuResult::NoAnswer);
    }
    handle(m_framer.reset(now()));
    emit frameSent(request.frame, now());
    if (request.answer == RtuRequest::Answer::None)
        return nullptr;
    auto *reply = new RtuReply(this);
    m_current = Pending{request, reply};
    m_active = true;
    m_watching = true;
    ++m_serial;
    m_result = RtuResult();
    m_result.request = request;
    m_result.attempts = 1;
    m_worst = RtuResult::NoAnswer;
    if (request.answer == RtuRequest::Answer::Search)
        m_framer.expect(0x00, 0x34, 6);
    else
        m_framer.expect(request.address(), request.function(), request.answerLength());
    m_timeout.start(timeoutFor(request));
    return reply;
}

void RtuClient::startNext()
{
    if (m_active)
        return;
    while (!m_queue.isEmpty()) {
        m_current = m_queue.takeFirst();
        if (!m_current.reply) // the caller gave it up
            continue;
        m_active = true;
        m_watching = false;
        ++m_serial;
        m_result = RtuResult();
        m_result.request = m_current.request;
        m_worst = RtuResult::NoAnswer;
        startAttempt();
        return;
    }
}

void RtuClient::startAttempt()
{
    ++m_result.attempts;
    // Whatever waits belongs to no answer of this request.
    handle(m_framer.reset(now()));
    if (!m_active)
        return;
    const RtuRequest rq = m_current.request; // a copy: finish() clears m_current
    if (rq.answer == RtuRequest::Answer::Search)
        m_framer.expect(0x00, 0x34, 6);
    else if (rq.answer != RtuRequest::Answer::None)
        m_framer.expect(rq.address(), rq.function(), rq.answerLength());
    else
        m_framer.expectNothing();

    const quint64 serial = m_serial;
    if (!m_port || !m_port->portOpen() || !m_port->output(rq.frame)) {
        const bool lost = m_port && !m_port->portOpen() && !m_lostReason.isEmpty();
        m_result.portError = lost ? m_lostReason : m_port ? m_port->errorString() : QStringLiteral("no port");
        if (m_result.portError.isEmpty())
            m_result.portError = QStringLiteral("the port is not open");
        finish(RtuResult::PortError);
        return;
    }
    m_lostReason.clear();
    emit frameSent(rq.frame, now());
    // A port that answers within output() (a test's) may have ended the request already.
    if (!m_active || m_serial != serial)
        return;
    if (rq.answer == RtuRequest::Answer::None) {
        const qint64 us = RtuFramer::transmitUs(int(rq.frame.size()), m_baud, m_bitsPerChar);
        m_timeout.start(int((us + 999) / 1000) + m_broadcastPauseMs);
        return;
    }
    m_timeout.start(timeoutFor(rq));
}

void RtuClient::received(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    handle(m_framer.feed(bytes, now()));
    if (m_framer.pending() > 0)
        m_silence.start(int(qMax<qint64>(1, (m_framer.gapUs() + 999) / 1000)));
    else
        m_silence.stop();
}

void RtuClient::handle(const QList<RtuFrame> &frames)
{
    for (const RtuFrame &f : frames) {
        emit lineFrame(f);
        if (!m_active || m_current.request.answer == RtuRequest::Answer::None)
            continue;
        if (match(f))
            return; // what follows the answer stays for the next look
    }
}

bool RtuClient::match(const RtuFrame &f)
{
    const RtuRequest &rq = m_current.request;
    if (f.kind == RtuFrame::Noise) {
        m_result.noiseBytes += int(f.bytes.size());
        return false;
    }
    if (f.kind == RtuFrame::BadCrc) {
        ++m_result.crcErrors;
        m_result.answer = f.bytes;
        attemptFailed(RtuResult::CrcError);
        return true;
    }
    const QByteArray &b = f.bytes;
    const uint8_t a = uint8_t(b.at(0)), fn = uint8_t(b.at(1));
    if (rq.answer == RtuRequest::Answer::Search) {
        if (a == 0x00 && fn == 0x34 && b.size() == 6) {
            m_result.answer = b;
            m_result.value = uint8_t(b.at(3));
            finish(RtuResult::Ok);
            return true;
        }
        m_result.unexpected << b;
        return false;
    }
    if (a != rq.address()) {
        m_result.unexpected << b;
        return false;
    }
    if (fn == (rq.function() | 0x80) && b.size() == 5) {
        m_result.answer = b;
        m_result.exceptionCode = uint8_t(b.at(2));
        finish(RtuResult::Exception);
        return true;
    }
    if (fn != rq.function()) {
        m_result.unexpected << b; // e.g. an input report while relays are read
        return false;
    }
    bool fits = false;
    switch (rq.answer) {
    case RtuRequest::Answer::State:
        fits = b.size() == 6 && uint8_t(b.at(2)) == 1;
        if (!fits && b == rq.frame) {
            // Our own request seen on the line (an adapter that echoes): not the answer.
            m_result.unexpected << b;
            return false;
        }
        break;
    case RtuRequest::Answer::Echo:
        fits = b == rq.frame;
        break;
    case RtuRequest::Answer::EchoHead:
        if (b == rq.frame) { // our own request, echoed by the adapter
            m_result.unexpected << b;
            return false;
        }
        fits = b.size() == 8 && b.left(6) == rq.frame.left(6);
        break;
    default:
        break;
    }
    m_result.answer = b;
    if (!fits) {
        finish(RtuResult::BadAnswer);
        return true;
    }
    if (rq.answer == RtuRequest::Answer::State)
        m_result.value = uint8_t(b.at(3));
    finish(RtuResult::Ok);
    return true;
}

void RtuClient::onTimeout()
{
    if (!m_active)
        return;
    if (m_current.request.answer == RtuRequest::Answer::None) {
        finish(RtuResult::Ok);
        return;
    }
    // A frame that only lacks the silence behind it is looked at now.
    handle(m_framer.silence(now()));
    if (m_active)
        attemptFailed(RtuResult::NoAnswer);
}

void RtuClient::attemptFailed(RtuResult::Status status)
{
    m_timeout.stop();
    if (status != RtuResult::NoAnswer)
        m_worst = status;
    if (!m_watching && m_result.attempts <= m_retries) {
        // Go on from the event loop: the rest of the garbled answer may still
        // be arriving and is dropped by the next attempt's reset.
        const quint64 serial = m_serial;
        QTimer::singleShot(int((m_framer.gapUs() + 999) / 1000), this, [this, serial] {
            if (m_active && m_serial == serial)
                startAttempt();
        });
        return;
    }
    // A garbled answer says more than a later silence.
    finish(status == RtuResult::NoAnswer ? m_worst : status);
}

void RtuClient::finish(RtuResult::Status status)
{
    m_timeout.stop();
    m_framer.expectNothing();
    m_active = false;
    m_result.status = status;
    QPointer<RtuReply> reply = m_current.reply;
    m_current = Pending();
    if (reply && !reply->m_finished) {
        reply->m_finished = true;
        reply->m_result = m_result;
        emit reply->finished();
    }
    if (!m_queue.isEmpty() && !m_startQueued) {
        m_startQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_startQueued = false;
            startNext();
        });
    }
}

void RtuClient::failAll(const QString &reason)
{
    m_lostReason = reason.isEmpty() ? QStringLiteral("the port was lost") : QStringLiteral("lost: ") + reason;
    if (m_active) {
        m_result.portError = reason;
        finish(RtuResult::PortError);
    }
    while (!m_queue.isEmpty()) {
        m_current = m_queue.takeFirst();
        m_active = true;
        m_result = RtuResult();
        m_result.request = m_current.request;
        m_result.portError = reason;
        finish(RtuResult::PortError);
    }
}
