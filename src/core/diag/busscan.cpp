#include "diag/busscan.h"

#include "protocol/rtuclient.h"

#include <QTimer>

BusScan::BusScan(RtuClient *client, QObject *parent) : QObject(parent), m_client(client) {}

void BusScan::scanAddresses(int from, int to)
{
    if (m_running)
        return;
    m_items.clear();
    for (int a = qMax(1, from); a <= qMin(255, to); ++a)
        m_items << a;
    m_sweep = false;
    m_running = true;
    m_cancel = false;
    m_done = 0;
    QTimer::singleShot(0, this, &BusScan::next);
}

void BusScan::sweepBauds(const QList<int> &bauds, std::function<bool(int)> setLine, std::function<void()> restore)
{
    if (m_running)
        return;
    m_items = bauds;
    m_setLine = std::move(setLine);
    m_restore = std::move(restore);
    m_sweep = true;
    m_running = true;
    m_cancel = false;
    m_done = 0;
    QTimer::singleShot(0, this, &BusScan::next);
}

void BusScan::cancel()
{
    if (m_running)
        m_cancel = true;
}

void BusScan::next()
{
    if (m_cancel || m_done >= m_items.size()) {
        end(m_cancel);
        return;
    }
    const int item = m_items.at(m_done);
    RtuRequest request;
    if (m_sweep) {
        if (!m_setLine || !m_setLine(item)) {
            ++m_done;
            emit progress(m_done, int(m_items.size()));
            QTimer::singleShot(0, this, &BusScan::next);
            return;
        }
        request = RtuRequest::search();
    } else {
        request = RtuRequest::readRelays(uint8_t(item));
    }
    m_reply = m_client->send(request);
    connect(m_reply, &RtuReply::finished, this, [this, item] {
        const RtuResult r = m_reply->result();
        m_reply->deleteLater();
        if (m_sweep && r.status == RtuResult::Ok)
            emit found(r.value, item);
        else if (!m_sweep && (r.status == RtuResult::Ok || r.status == RtuResult::Exception))
            emit found(item, 0);
        ++m_done;
        emit progress(m_done, int(m_items.size()));
        next();
    });
}

void BusScan::end(bool cancelled)
{
    m_running = false;
    if (m_sweep && m_restore)
        m_restore();
    m_setLine = nullptr;
    m_restore = nullptr;
    emit finished(cancelled);
}
