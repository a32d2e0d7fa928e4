#include "board/boardsession.h"

#include "board/sleep2.h"
#include "protocol/frames.h"
#include "serial/serialport.h"
#include "timing.h"

bool GateWaiter::wait(int ms)
{
    return Sleep2(ms, m_gate);
}

BoardSession::BoardSession(SerialPort *port, Waiter *waiter, QObject *parent)
    : QObject(parent), m_port(port), m_waiter(waiter)
{
    setObjectName(QStringLiteral("boardSession"));
}

bool BoardSession::portOpen() const
{
    return m_port && m_port->portOpen();
}

bool BoardSession::send(const QByteArray &frame)
{
    if (!portOpen()) {
        emit portNotOpen();
        return false;
    }
    return write(frame);
}

bool BoardSession::write(const QByteArray &frame)
{
    if (!m_port->output(frame))
        return false;
    emit frameWritten(frame);
    return true;
}

BoardSession::End BoardSession::pause(int ms, quint64 generation)
{
    if (m_waiter && !m_waiter->wait(ms))
        return End::Quitting;
    if (generation != m_generation)
        return End::PortSwitched;
    return End::Done;
}

BoardSession::End BoardSession::readStatus(uint8_t address)
{
    const quint64 generation = m_generation;
    if (const End e = pause(timing::kStatusReadDelay, generation); e != End::Done)
        return e;
    send(frames::ReadRelaysFrame(address));
    if (const End e = pause(timing::kStatusReadGap, generation); e != End::Done)
        return e;
    send(frames::ReadInputsFrame(address));
    return End::Done;
}

BoardSession::End BoardSession::download(uint8_t address, const std::function<LogicStep(int)> &readStep)
{
    const quint64 generation = m_generation;
    for (int s = 1; s <= 8; ++s) {
        const QByteArray frame = frames::StepFrame(address, readStep(s));
        // A port that went away stops the download; what went out were whole frames.
        if (!portOpen() || !write(frame))
            return End::PortClosed;
        if (const End e = pause(s < 8 ? timing::kStepGap : timing::kLastStepPause, generation); e != End::Done)
            return e;
    }
    return End::Done;
}

BoardSession::End BoardSession::greeting(const std::function<void(bool)> &arrow)
{
    const quint64 generation = m_generation;
    arrow(true);
    if (const End e = pause(timing::kGreetingPhase, generation); e != End::Done)
        return e;
    arrow(false);
    if (const End e = pause(timing::kGreetingPhase, generation); e != End::Done)
        return e;
    if (!portOpen() || !write(frames::PortGreetingFrame()))
        return End::PortClosed;
    arrow(true);
    if (const End e = pause(timing::kGreetingPhase, generation); e != End::Done)
        return e;
    arrow(false);
    return End::Done;
}
