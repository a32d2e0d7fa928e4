#pragma once

#include "protocol/rtuframer.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QTimer>

#include <vector>

// The frames of the line, one per row, for the bus monitor: time in ms,
// direction, raw bytes, meaning, CRC status and answer time. It holds at most
// capacity() rows in a ring that is allocated once, so memory stays the same
// however long the line runs. Frames come in through add*() and go into the
// rows every few milliseconds in one batch: a flood costs the receive path a
// copy of its bytes, not a view update per frame. The meaning of a row is
// worked out only when a view asks for it.
class BusFrameModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Direction, Bytes, Meaning, Crc, AnswerTime, ColumnCount };
    static constexpr int kDefaultCapacity = 10000;
    // A row keeps at most this many of its bytes (only noise is longer), so
    // a flood of noise costs the same memory as a line of short frames.
    static constexpr int kMaxRowBytes = 48;

    explicit BusFrameModel(int capacity = kDefaultCapacity, QObject *parent = nullptr);

    int capacity() const { return int(m_ring.size()); }
    // While paused, frames are not recorded.
    void setPaused(bool paused) { m_paused = paused; }
    bool paused() const { return m_paused; }
    void clear();
    // Puts what was collected into the rows now (the timer does it too).
    void flush();

    // A frame this program wrote; a frame (or noise) it received. Times in
    // microseconds on one clock.
    void addSent(const QByteArray &frame, qint64 timeUs);
    void addReceived(const RtuFrame &frame);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The rows as CSV (UTF-8, a header line, CR LF line ends).
    QByteArray toCsv() const;

private:
    struct Row
    {
        qint64 timeUs = 0;
        qint64 answerUs = -1; // from the last frame sent; -1: none
        QByteArray bytes; // the first kMaxRowBytes of them
        int length = 0;   // all of them
        RtuFrame::Kind kind = RtuFrame::Frame;
        bool sent = false;
    };
    void collect(Row row);
    const Row &rowAt(int row) const { return m_ring[size_t((m_first + row) % m_ring.size())]; }
    QString cell(const Row &r, int column) const;

    std::vector<Row> m_ring;
    int m_first = 0; // ring index of row 0
    int m_count = 0;
    std::vector<Row> m_pending; // collected, not yet in the rows (at most capacity)
    size_t m_pendingFirst = 0;  // m_pending used as a ring once full
    QTimer m_flush;
    bool m_paused = false;
    qint64 m_lastSentUs = -1;
    qint64 m_originUs = -1;
};
