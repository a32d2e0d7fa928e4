#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

// The program's one serial port, shaped after the serial communications
// control the rest of the program was written against: set CommPort and
// Settings, set PortOpen, and react to OnComm. Every member is called on the
// UI thread and every signal is delivered there.
//
// Members that can fail return false (or an empty value) and leave a reason in
// errorString(); callers only look at success.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    enum InputModes { InputModeText = 0, InputModeBinary = 1 };
    enum CommEvents { comEvSend = 1, comEvReceive = 2 };

    explicit SerialPort(QObject *parent = nullptr) : QObject(parent) {}
    ~SerialPort() override = default;

    // Port number for the next opening; 1 is the first serial port.
    virtual void setCommPort(int port) { m_commPort = port; }
    int commPort() const { return m_commPort; }

    // "baud,parity,data,stop", e.g. "9600,N,8,1"; applies at the next opening.
    // Returns false when the text is not a valid setting.
    virtual bool setSettings(const QString &settings);
    QString settings() const { return m_settings; }

    // Opening fails when the port is missing, in use or the settings are invalid.
    virtual bool setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;

    // Buffer sizes may only be set while the port is closed.
    virtual bool setInBufferSize(int size);
    virtual bool setOutBufferSize(int size);
    int inBufferSize() const { return m_inBufferSize; }
    int outBufferSize() const { return m_outBufferSize; }

    // Bytes waiting to be read; setting 0 discards them.
    virtual int inBufferCount() const = 0;
    virtual void setInBufferCount(int count) = 0;
    // Setting 0 discards bytes not yet sent.
    virtual void setOutBufferCount(int count) = 0;

    // 0: no receive events; n: a receive event whenever n or more bytes wait.
    virtual void setRThreshold(int n) { m_rThreshold = n; }
    int rThreshold() const { return m_rThreshold; }
    // 0: no send events; n: a send event when the bytes waiting to be sent drop below n.
    virtual void setSThreshold(int n) { m_sThreshold = n; }
    int sThreshold() const { return m_sThreshold; }

    // 0 text, 1 binary. The port always hands over raw bytes; the mode is kept
    // for the callers that switch it and for tests that check it.
    void setInputMode(int mode) { m_inputMode = mode; }
    int inputMode() const { return m_inputMode; }

    // Removes and returns all waiting bytes.
    virtual QByteArray input() = 0;

    // Queues the bytes for sending in order; fails when the port is closed.
    virtual bool output(const QByteArray &bytes) = 0;

    // Receive pacing. A stream arrives a few bytes per read, and every read
    // wakes the program. With pacing, after a receive event the port leaves
    // the line alone for up to ms milliseconds and then reports in one event
    // everything that came meanwhile; the first bytes after a silence are
    // reported at once. longest() says how long a pause may last at this
    // moment (0: none): whoever times the gaps between frames allows only a
    // pause well inside a gap. 0 (the default): an event for every read.
    void setReceivePacing(int ms, std::function<int()> longest = {})
    {
        m_pacingMs = ms;
        m_pacingLimit = std::move(longest);
    }
    int receivePacing() const { return m_pacingMs; }
    // Ends a pause now: the bytes waiting on the line are read and reported
    // before this returns, so a reader that looks at regular times (the
    // reply parser's tick) sees every byte that has arrived.
    virtual void receiveNow() {}

    // Reason of the event being delivered by OnComm.
    int commEvent() const { return m_commEvent; }

    QString errorString() const { return m_error; }

    // A short description of the device behind the current CommPort, for tooltips.
    virtual QString deviceDescription() const { return QString(); }

signals:
    // Raised once per port event; read commEvent() for the reason.
    void OnComm();
    // Bytes the port has actually handed to the device (each byte once).
    void bytesWritten(qint64 count);
    // The open port failed (adapter pulled, peer gone) and has been closed.
    void portLost(const QString &reason);

protected:
    void raiseComm(int event)
    {
        m_commEvent = event;
        emit OnComm();
        m_commEvent = 0;
    }

    QString m_error;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_inBufferSize = 1024;
    int m_outBufferSize = 512;
    int m_rThreshold = 0;
    int m_sThreshold = 0;
    int m_inputMode = InputModeText;
    int m_commEvent = 0;
    int m_pacingMs = 0;
    std::function<int()> m_pacingLimit;
};

// The parsed form of a Settings text.
struct LineSettings
{
    qint32 baud = 9600;
    char parity = 'N'; // N, O, E, S, M
    int dataBits = 8;  // 5..8
    int stopBits = 1;  // 1 or 2
};

// Parses "9600,N,8,1"; returns false for anything a port could not apply.
bool parseLineSettings(const QString &text, LineSettings *out);

// The program's buffers and event thresholds: 1024 bytes in, 4096 out, a
// receive event for every byte and a send event when the buffer drains.
// Set when the port object is made, so events work from the first start on.
void setUpBuffers(SerialPort &port);
