#pragma once

#include "serial/serialport.h"

#include <QElapsedTimer>
#include <QList>

// A serial port for tests: records every Output with a timestamp, lets the
// test inject received bytes and send events, and decides which ports exist.
class FakeSerialPort : public SerialPort
{
    Q_OBJECT
public:
    struct Write
    {
        qint64 ms; // since the port object was made
        QByteArray bytes;
    };

    FakeSerialPort();

    bool setPortOpen(bool open) override;
    bool portOpen() const override { return m_open; }
    int inBufferCount() const override { return int(m_in.size()); }
    void setInBufferCount(int count) override;
    void setOutBufferCount(int) override {}
    QByteArray input() override;
    bool output(const QByteArray &bytes) override;

    // Ports that can be opened (default: 1 to 4).
    QList<int> existingPorts{1, 2, 3, 4};
    // Next openings fail while set.
    bool failOpen = false;
    // The system's reason a failed opening gives (errorString()).
    QString failReason = QStringLiteral("no such port");
    // Every Output ever made while open.
    QList<Write> writes;
    QByteArray allWritten() const;
    int openCount = 0;
    QList<QString> openedSettings; // settings text at each successful opening
    QList<int> openedPorts;

    // Puts bytes into the receive buffer and raises a receive event when
    // the threshold allows (like a real port).
    void receive(const QByteArray &bytes);
    // Raises a send event when the threshold allows.
    void sendEvent();
    // Simulates the adapter being pulled.
    void lose();

    qint64 elapsedMs() const { return m_clock.elapsed(); }

private:
    bool m_open = false;
    QByteArray m_in;
    QElapsedTimer m_clock;
};
