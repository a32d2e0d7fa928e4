#pragma once

#include <QObject>
#include <QString>

// The RX and TX byte counters of the status row: 64-bit, never negative.
// RX counts the bytes received, TX the bytes the port reports written
// (every byte once, whoever wrote it).
class TrafficCounters : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    qint64 RxTotal() const { return m_rx; }
    qint64 TxTotal() const { return m_tx; }
    // Every receive event reports, even one that found nothing waiting.
    void addReceived(qint64 n)
    {
        if (n > 0)
            m_rx += n;
        emit changed();
    }
    void addSent(qint64 n)
    {
        if (n <= 0)
            return;
        m_tx += n;
        emit changed();
    }
    void clear()
    {
        m_rx = m_tx = 0;
        emit changed();
    }
    // The status row's texts: "RX:12", "TX:34".
    QString rxText() const { return QStringLiteral("RX:") + QString::number(m_rx); }
    QString txText() const { return QStringLiteral("TX:") + QString::number(m_tx); }

signals:
    void changed();

private:
    qint64 m_rx = 0;
    qint64 m_tx = 0;
};
