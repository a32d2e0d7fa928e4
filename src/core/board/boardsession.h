#pragma once

#include "logic/logicstep.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <functional>

class SerialPort;
class SleepGate;

// Waits between the frames of a multi-frame command. false: stop at once
// (the program is quitting).
class Waiter
{
public:
    virtual ~Waiter() = default;
    virtual bool wait(int ms) = 0;
};

// The program's waiter: Sleep2 on the window's gate, so events keep running
// during the wait and quitting ends it.
class GateWaiter : public Waiter
{
public:
    explicit GateWaiter(SleepGate *gate) : m_gate(gate) {}
    bool wait(int ms) override;

private:
    SleepGate *m_gate;
};

// Talks to the board over the serial port: single frames, and the commands
// that send several frames with pauses between them (device status reads,
// program download, the greeting after opening a port).
//
// A multi-frame command belongs to the port it started on: when the port is
// switched, reopened or closed while it waits (portSwitching()), it stops
// after the whole frames already sent and never writes to another port.
class BoardSession : public QObject
{
    Q_OBJECT
public:
    enum class End { Done, PortClosed, PortSwitched, Quitting };

    BoardSession(SerialPort *port, Waiter *waiter, QObject *parent = nullptr);

    SerialPort *port() const { return m_port; }
    void setWaiter(Waiter *waiter) { m_waiter = waiter; }
    bool portOpen() const;

    // Writes one whole frame. With the port closed it writes nothing and
    // reports portNotOpen().
    bool send(const QByteArray &frame);

    // Waits 100 ms, reads the relays, waits 500 ms, reads the inputs.
    End readStatus(uint8_t address);
    // The eight steps, 250 ms apart, 100 ms after the last. Each step is
    // read just before its frame, so changes made during the pauses still
    // reach the steps not yet sent. A closed port stops it without a word.
    End download(uint8_t address, const std::function<LogicStep(int step)> &readStep);
    // The arrow blinks on and off (500 ms each), the greeting frame goes out,
    // the arrow blinks once more.
    End greeting(const std::function<void(bool on)> &arrow);

    // The port is about to change: a waiting command stops.
    void portSwitching() { ++m_generation; }

signals:
    void portNotOpen();
    // A whole frame went to the port (for the answer checks and the monitor).
    void frameWritten(const QByteArray &frame);

private:
    bool write(const QByteArray &frame);
    // Waits; gives how the command must end, or Done to go on.
    End pause(int ms, quint64 generation);

    SerialPort *m_port;
    Waiter *m_waiter;
    quint64 m_generation = 0;
};
