#include "diag/busframemodel.h"

#include "diag/busmeaning.h"
#include "timing.h"

#include <algorithm>

namespace {
// An answer later than this after a request is not taken for its answer time.
constexpr qint64 kAnswerWindowUs = 5'000'000;
} // namespace

BusFrameModel::BusFrameModel(int capacity, QObject *parent) : QAbstractTableModel(parent)
{
    m_ring.resize(size_t(std::max(1, capacity)));
    m_pending.reserve(m_ring.size());
    m_flush.setInterval(timing::kMonitorUpdate);
    m_flush.setSingleShot(true);
    connect(&m_flush, &QTimer::timeout, this, &BusFrameModel::flush);
}

void BusFrameModel::addSent(const QByteArray &frame, qint64 timeUs)
{
    m_lastSentUs = timeUs;
    Row r;
    r.timeUs = timeUs;
    r.bytes = frame;
    r.sent = true;
    collect(std::move(r));
}

void BusFrameModel::addReceived(const RtuFrame &frame)
{
    Row r;
    r.timeUs = frame.timeUs;
    r.bytes = frame.bytes;
    r.kind = frame.kind;
    if (frame.kind != RtuFrame::Noise && m_lastSentUs >= 0 && frame.timeUs >= m_lastSentUs
        && frame.timeUs - m_lastSentUs <= kAnswerWindowUs)
        r.answerUs = frame.timeUs - m_lastSentUs;
    collect(std::move(r));
}

void BusFrameModel::collect(Row row)
{
    if (m_paused)
        return;
    row.length = int(row.bytes.size());
    if (row.length > kMaxRowBytes) {
        row.bytes.truncate(kMaxRowBytes);
        row.bytes.squeeze();
    }
    if (m_originUs < 0)
        m_originUs = row.timeUs;
    // More than the ring holds would only push out what it brings itself.
    if (m_pending.size() < m_ring.size()) {
        m_pending.push_back(std::move(row));
    } else {
        m_pending[m_pendingFirst] = std::move(row);
        m_pendingFirst = (m_pendingFirst + 1) % m_pending.size();
    }
    if (!m_flush.isActive())
        m_flush.start();
}

void BusFrameModel::flush()
{
    m_flush.stop();
    const int n = int(m_pending.size());
    if (n == 0)
        return;
    const int cap = capacity();
    const int drop = std::min(m_count, std::max(0, m_count + n - cap));
    if (drop > 0) {
        beginRemoveRows(QModelIndex(), 0, drop - 1);
        for (int i = 0; i < drop; ++i)
            m_ring[size_t((m_first + i) % cap)] = Row();
        m_first = (m_first + drop) % cap;
        m_count -= drop;
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), m_count, m_count + n - 1);
    for (int i = 0; i < n; ++i) {
        Row &src = m_pending[(m_pendingFirst + size_t(i)) % m_pending.size()];
        m_ring[size_t((m_first + m_count) % cap)] = std::move(src);
        ++m_count;
    }
    m_pending.clear();
    m_pendingFirst = 0;
    endInsertRows();
}

void BusFrameModel::clear()
{
    beginResetModel();
    std::fill(m_ring.begin(), m_ring.end(), Row());
    m_first = 0;
    m_count = 0;
    m_pending.clear();
    m_pendingFirst = 0;
    m_originUs = -1;
    endResetModel();
}

int BusFrameModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int BusFrameModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString BusFrameModel::cell(const Row &r, int column) const
{
    switch (column) {
    case Time: return QString::number((r.timeUs - m_originUs) / 1000);
    case Direction: return r.sent ? QStringLiteral("发送") : QStringLiteral("接收");
    case Bytes: return r.length > r.bytes.size() ? busmeaning::hex(r.bytes) + QStringLiteral(" …") : busmeaning::hex(r.bytes);
    case Meaning:
        if (!r.sent && r.kind == RtuFrame::Noise)
            return QStringLiteral("无法成帧的字节（%1字节）").arg(r.length);
        return busmeaning::describe(r.bytes, r.sent ? RtuFrame::Frame : r.kind, r.sent);
    case Crc:
        if (r.sent)
            return QString();
        return r.kind == RtuFrame::Frame ? QStringLiteral("正确")
               : r.kind == RtuFrame::BadCrc ? QStringLiteral("错误")
                                             : QStringLiteral("无帧");
    case AnswerTime: return r.answerUs < 0 ? QString() : QString::number(double(r.answerUs) / 1000.0, 'f', 1);
    default: return QString();
    }
}

QVariant BusFrameModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_count || role != Qt::DisplayRole)
        return QVariant();
    return cell(rowAt(index.row()), index.column());
}

QVariant BusFrameModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const names[] = {"时间(ms)", "方向", "字节", "含义", "校验", "应答时间(ms)"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(names[section]) : QVariant();
}

QByteArray BusFrameModel::toCsv() const
{
    const auto quote = [](QString s) {
        if (s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"')))
            s = QLatin1Char('"') + s.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
        return s;
    };
    QString out;
    QStringList head;
    for (int c = 0; c < ColumnCount; ++c)
        head << headerData(c, Qt::Horizontal).toString();
    out += head.join(QLatin1Char(',')) + QLatin1String("\r\n");
    for (int i = 0; i < m_count; ++i) {
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c)
            cells << quote(cell(rowAt(i), c));
        out += cells.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return out.toUtf8();
}
