#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// An independent MODBUS RTU slave for tests, built on libmodbus. libmodbus
// opens a serial device itself, so the slave gets a pseudo-terminal of its
// own, and a bridge thread copies bytes between it and a second
// pseudo-terminal whose slave device the program under test opens (link it as
// ports/COMn). The slave has 8 coils and 8 discrete inputs at 0..7 and
// holding registers 0..0x1370; it answers at one address and, as libmodbus
// does, never answers broadcasts.
class ModbusSlave
{
public:
    explicit ModbusSlave(int address = 33);
    ~ModbusSlave();
    ModbusSlave(const ModbusSlave &) = delete;
    ModbusSlave &operator=(const ModbusSlave &) = delete;

    // Opens both lines and starts serving. False (see error()) on failure.
    bool start();
    QString error() const { return m_error; }
    // The device the program under test opens.
    QString devicePath() const { return m_programSide; }
    // Links <folder>/ports/COMn to devicePath().
    bool linkAs(const QString &settingsFolder, int n) const;

    void setCoils(uint8_t bits);
    uint8_t coils() const;
    void setDiscreteInputs(uint8_t bits);
    uint16_t holdingRegister(int address) const;
    // Requests for this slave that libmodbus received (valid CRC).
    int requests() const { return m_requests.load(); }
    // Bad frames after which libmodbus waited and flushed the line; a byte
    // sent after this count went up is read afresh.
    int rejected() const { return m_rejected.load(); }

private:
    void serve();
    void bridge();

    struct Impl;
    std::unique_ptr<Impl> d;
    int m_address;
    QString m_error;
    QString m_programSide;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_rejected{0};
    std::thread m_serveThread;
    std::thread m_bridgeThread;
};
