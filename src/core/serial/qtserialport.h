#pragma once

#include "serial/serialport.h"

#include <QElapsedTimer>
#include <QPointer>

#include <memory>

class QSerialPort;
class QSocketNotifier;
class QTimer;
class PortResolver;

// SerialPort over QSerialPort. Port numbers are mapped to devices by a
// PortResolver. A read or resource error (adapter pulled, peer gone) closes the
// port at once and raises portLost, so a dead port is never polled.
class QtSerialPort : public SerialPort
{
    Q_OBJECT
public:
    explicit QtSerialPort(std::shared_ptr<const PortResolver> resolver, QObject *parent = nullptr);
    ~QtSerialPort() override;

    bool setPortOpen(bool open) override;
    bool portOpen() const override;
    bool setInBufferSize(int size) override;
    int inBufferCount() const override;
    void setInBufferCount(int count) override;
    void setOutBufferCount(int count) override;
    QByteArray input() override;
    bool output(const QByteArray &bytes) override;
    QString deviceDescription() const override;
    void setRThreshold(int n) override;
    void receiveNow() override;

    // The device path of the open port (empty while closed).
    QString devicePath() const { return m_device; }

private:
    void onReadyRead();
    void onBytesWritten(qint64 n);
    void onError(int error);
    void closeInternal();
    // The longest pause allowed now, in ms (0: no pacing).
    int pacingNow() const;
    // Reads until the line is empty or a batch is full; true when emptied.
    bool gather();
    // Stops watching the line for up to longest ms after a receive event.
    void pauseReceive(int longest);
    // Keeps the line's recent rate (m_bytesPerMs) from the batches read.
    void measureRate(qint64 bytes);
    // QSerialPort's watcher of the line's readability (it makes a new one
    // at each opening); nullptr where it has none of that kind.
    QSocketNotifier *readNotifier();

    std::shared_ptr<const PortResolver> m_resolver;
    QSerialPort *m_port;
    QString m_device;
    bool m_inReceiveEvent = false;
    // The line is not being watched until m_pause ends.
    bool m_paused = false;
    bool m_gathering = false;
    QElapsedTimer m_rateClock;
    qint64 m_rateBytes = 0;
    double m_bytesPerMs = 0;
    QTimer *m_pause = nullptr;
    QPointer<QSocketNotifier> m_readNotifier;
};
