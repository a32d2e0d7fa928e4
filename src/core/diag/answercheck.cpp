#include "diag/answercheck.h"

#include "diag/busmeaning.h"
#include "serial/serialport.h"
#include "timing.h"

AnswerCheck::AnswerCheck(SerialPort *port, QObject *parent) : QObject(parent), m_client(port)
{
    m_client.setMinGapUs(qint64(timing::kHostFrameGapMs) * 1000);
    // The scan asks once per address; a missing board is no reason to ask again.
    m_client.setRetries(0);
}

void AnswerCheck::setLine(const QString &settingsText)
{
    LineSettings ls;
    if (!parseLineSettings(settingsText, &ls))
        return;
    m_client.setLine(ls.baud, 1 + ls.dataBits + (ls.parity == 'N' ? 0 : 1) + ls.stopBits);
}

void AnswerCheck::frameWritten(const QByteArray &frame)
{
    RtuReply *reply = m_client.watch(RtuRequest::fromFrame(frame));
    if (!reply)
        return;
    connect(reply, &RtuReply::finished, this, [this, reply] {
        finished(reply->result());
        reply->deleteLater();
    });
}

void AnswerCheck::bytesReceived(const QByteArray &bytes)
{
    if (framing())
        m_client.received(bytes);
}

void AnswerCheck::finished(const RtuResult &r)
{
    const QString what = busmeaning::requestName(r.request.what);
    const bool search = r.request.answer == RtuRequest::Answer::Search;
    const int a = r.request.address();
    switch (r.status) {
    case RtuResult::Ok:
        ++m_answered;
        break;
    case RtuResult::NoAnswer: {
        ++m_noAnswer;
        int other = -1;
        for (const QByteArray &f : r.unexpected)
            if (!search && f.size() > 1 && uint8_t(f.at(0)) != a && uint8_t(f.at(1)) == r.request.function()) {
                other = uint8_t(f.at(0));
                break;
            }
        if (other >= 0)
            m_message = QStringLiteral("收到地址%1的应答，当前地址为%2").arg(other).arg(a);
        else if (search)
            m_message = QStringLiteral("广播搜索无应答：请检查接线（A、B是否接反）和波特率");
        else
            m_message = QStringLiteral("地址%1无应答（%2）").arg(a).arg(what);
        if (r.noiseBytes > 0)
            m_message += QStringLiteral("，另有%1个无法成帧的字节").arg(r.noiseBytes);
        break;
    }
    case RtuResult::CrcError:
        m_crcErrors += qMax(1, r.crcErrors);
        m_message = QStringLiteral("校验错误%1次：请检查波特率和接线").arg(m_crcErrors);
        break;
    case RtuResult::Exception:
        m_message = QStringLiteral("地址%1拒绝了请求（%2）：异常 %3")
                        .arg(a)
                        .arg(what)
                        .arg(r.exceptionCode, 2, 16, QLatin1Char('0'));
        ++m_answered;
        break;
    case RtuResult::BadAnswer:
        m_message = QStringLiteral("地址%1的应答不符（%2）：%3").arg(a).arg(what, busmeaning::hex(r.answer));
        ++m_answered;
        break;
    case RtuResult::PortError:
        return;
    }
    emit changed();
}

QString AnswerCheck::lineText() const
{
    QString s = QStringLiteral("应答%1 无应答%2 校验错误%3").arg(m_answered).arg(m_noAnswer).arg(m_crcErrors);
    if (!m_message.isEmpty())
        s += QStringLiteral("｜") + m_message;
    return s;
}

void AnswerCheck::note(const QString &message)
{
    m_message = message;
    emit changed();
}

void AnswerCheck::clear()
{
    m_answered = m_noAnswer = m_crcErrors = 0;
    m_message.clear();
    emit changed();
}
