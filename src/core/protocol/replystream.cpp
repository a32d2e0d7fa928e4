#include "protocol/replystream.h"

#include "protocol/replyparser.h"
#include "timing.h"

#include <QTimer>

ReplyStream::ReplyStream(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("replyStream"));
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(timing::kParserTick);
    connect(Timer2, &QTimer::timeout, this, &ReplyStream::Timer2_Timer);
    Timer2->start();
    m_lastTick.start();
}

void ReplyStream::feed(const QString &hexText)
{
    tempstatus += hexText;
    if (tempstatus.size() >= kFloodBacklog && Timer2->isActive())
        Timer2_Timer();
    else
        catchUp();
}

void ReplyStream::catchUp()
{
    if (Timer2->isActive() && m_lastTick.elapsed() >= timing::kParserOverdue)
        Timer2_Timer();
}

void ReplyStream::stop()
{
    Timer2->stop();
}

void ReplyStream::Timer2_Timer()
{
    m_lastTick.restart();
    if (takeInput)
        takeInput();
    const QString head = receiveHead ? receiveHead(int(ReplyParser::kAnswerLength)) : QString();
    const QString address = addressText ? addressText() : QString();
    const ReplyTick t = ReplyParser::tick(tempstatus, head, address);
    if (t.inputs)
        emit inputStateFound(*t.inputs);
    if (t.relays)
        emit relayStateFound(*t.relays);
    // Reported only when it differs, so typing in the box is not disturbed
    // while the same search answer is seen tick after tick.
    if (t.address && address != *t.address)
        emit addressFound(*t.address);
    if (t.receiveRewritten)
        emit receiveViewRewritten(tempstatus);
}
