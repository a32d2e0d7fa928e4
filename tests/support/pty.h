#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for tests: the test holds the master side and the
// program opens the slave device (usually through a ports/COMn link).
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return m_master >= 0; }
    QString slavePath() const { return m_slave; }
    int masterFd() const { return m_master; }

    // Links <folder>/ports/COMn to the slave device.
    bool linkAs(const QString &settingsFolder, int n) const;

    void write(const QByteArray &bytes);
    // Reads what is waiting now (non-blocking).
    QByteArray readAvailable();
    // Collects bytes until at least count arrived or timeoutMs passed,
    // letting Qt events run meanwhile.
    QByteArray readFor(int count, int timeoutMs);
    // Waits until the program's side has bytes to read that it has not read.
    bool waitUntilSlaveReadable(int timeoutMs) const;
    // Closes the master side: the program's end sees the peer vanish.
    void closeMaster();

private:
    int m_master = -1;
    QString m_slave;
    int m_keepSlave = -1; // keeps the line alive while the program reopens it
};
