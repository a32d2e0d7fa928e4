#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace board {

// The board's end of the serial line: the master side of a pseudo-terminal.
// The program under test opens the slave device (usually through a link such
// as <settings>/ports/COM1). The line is raw and non-blocking; reading and
// writing are driven by socket notifiers, never by waiting.
class PtyTransport : public QObject
{
    Q_OBJECT
public:
    explicit PtyTransport(QObject *parent = nullptr);
    ~PtyTransport() override;

    // Opens a new pseudo-terminal. False (with errorString) when that fails.
    bool open();
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    // Links path to the slave device (an existing file or link there is
    // replaced, missing folders are made). The link is removed again by
    // close() and on destruction, if it still points to this device.
    bool linkAt(const QString &path);
    QString linkPath() const { return m_link; }

    // The baud rate and parity (N, O, E) the program set on its side of the
    // line, read from the terminal settings; false when the line is closed.
    bool lineSettings(int *baud, char *parity) const;
    // Queues bytes; they go out as soon as the line takes them.
    void write(const QByteArray &bytes);

    // Closes both sides and removes the link: the peer sees the line vanish.
    void close();

signals:
    void received(const QByteArray &bytes);

private:
    void onReadable();
    void onWritable();
    void flushOut();
    void removeLink();

    int m_master = -1;
    int m_keepSlave = -1; // keeps the line usable while no peer has it open
    QString m_slavePath;
    QString m_link;
    QString m_error;
    QByteArray m_out;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};

} // namespace board
