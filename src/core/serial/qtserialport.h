#pragma once

#include "serial/serialport.h"

#include <memory>

class QSerialPort;
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

    // The device path of the open port (empty while closed).
    QString devicePath() const { return m_device; }

private:
    void onReadyRead();
    void onBytesWritten(qint64 n);
    void onError(int error);
    void closeInternal();

    std::shared_ptr<const PortResolver> m_resolver;
    QSerialPort *m_port;
    QString m_device;
    bool m_inReceiveEvent = false;
};
