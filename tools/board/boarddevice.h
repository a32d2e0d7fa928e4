#pragma once

#include "boardmodel.h"
#include "ptytransport.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace board {

// The board on its line: the model answers what the transport receives, and
// every byte it sends passes the misbehaviour settings. Input changes made on
// the board (switches, commands) go through here so that reports go out.
// More boards can share the line (addBoard): each has its own state and hears
// every request; their answers go out one after the other, in the order the
// boards were added. The first board is the one the window and the commands
// work on.
class BoardDevice : public QObject
{
    Q_OBJECT
public:
    explicit BoardDevice(QObject *parent = nullptr);

    BoardModel &model() { return m_model; }
    const BoardModel &model() const { return m_model; }
    // Another board on the same line, at this address.
    BoardModel &addBoard(uint8_t address);
    // Every board on the line, the first one first.
    QList<BoardModel *> boards();
    // The board that has this address now, or null.
    BoardModel *boardAt(int address);
    PtyTransport &transport() { return m_transport; }
    const Misbehaviour &misbehaviour() const { return m_mis; }
    void setMisbehaviour(const Misbehaviour &m);

    // Local changes that may send a report.
    void setInputs(uint8_t inputs);
    void setInput(int k, bool on);

    // Closes the line (the peer sees it vanish).
    void vanish();
    // After vanish(): a new line behind the same link, like an adapter
    // plugged in again. False when no line could be made.
    bool comeBack();
    // A second board at the first board's address: both answer every request
    // at once and their answers collide into garbage on the line.
    void setTwin(bool twin) { m_twin = twin; }
    // Answers only while the line's baud rate and parity, as the program set
    // them, are these (baud 0: any line). A line set otherwise garbles every
    // byte, so the board hears nothing it understands.
    void setOwnLine(int baud, char parity) { m_ownBaud = baud; m_ownParity = parity; }
    bool lineMatches() const;
    bool vanished() const { return m_vanished; }

    // One line with the whole state, e.g.
    // "state address=33 relays=0x00 written=0x00 inputs=0x00 report=off
    //  steps=000000,... frames=0 line=open"
    QString stateLine() const { return stateLine(m_model); }
    QString stateLine(const BoardModel &board) const;

signals:
    void misbehaviourChanged();
    void sent(const QByteArray &bytes);

private:
    void onReceived(const QByteArray &bytes);
    void send(const QList<QByteArray> &answers);

    BoardModel m_model;
    std::vector<std::unique_ptr<BoardModel>> m_others;
    PtyTransport m_transport;
    Misbehaviour m_mis;
    QTimer m_idle; // a quiet line ends whatever request was under way
    quint32 m_noiseSeed = 0x4B52u;
    bool m_vanished = false;
    bool m_twin = false;
    int m_ownBaud = 0;
    char m_ownParity = 'N';
    QString m_lastLink;
};

// Runs one command line of the headless mode and returns the one line it
// prints: "ok", "error: ..." or, for "state", the state line. Sets *quit for
// "quit".
QString runCommand(BoardDevice &device, const QString &line, bool *quit);

// The command list, for --help and the "help" command.
QString commandHelp();

// How the board's program drives the relays, for --help.
QString programHelp();

} // namespace board
