#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

class SerialPort;

// Writes a file's bytes to the port without ever blocking. Data that the port
// moves within a second goes out with one write; anything longer is written
// piece by piece (about a tenth of a second of line time each, at most two
// pieces waiting in the port) as the port reports bytes written, so the window
// stays live and the sending can be cancelled between pieces.
class FileSender : public QObject
{
    Q_OBJECT
public:
    enum Result { Completed, Cancelled, PortFailed };

    explicit FileSender(SerialPort *port, QObject *parent = nullptr);

    // Starts sending; false when the first write fails (port closed). With
    // data of at most a second it is written at once and nothing runs on.
    bool start(const QByteArray &data);
    // Stops after the pieces already handed to the port.
    void cancel();
    // The port went away while sending: stops and reports PortFailed.
    void portGone();

    bool running() const { return m_running; }
    qint64 total() const { return m_data.size(); }
    // Bytes the port reported written since the start (at most total()).
    qint64 done() const { return m_acked; }
    qint64 pieceSize() const { return m_piece; }

signals:
    void progress(qint64 done, qint64 total);
    void finished(FileSender::Result result);

private:
    void onBytesWritten(qint64 n);
    void writeNext();
    void finish(Result result);

    SerialPort *m_port;
    QByteArray m_data;
    qint64 m_queued = 0;
    qint64 m_acked = 0;
    qint64 m_piece = 0;
    bool m_running = false;
    QTimer m_next;
};
