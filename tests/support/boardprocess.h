#pragma once

#include "logic/logicstep.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

// Runs the virtual board (kestrune-board --headless) as a child process for a
// test: links its line where the test wants it, sends it commands and reads
// back its state. The executable comes from the environment variable
// KESTRUNE_BOARD, or else is the board of this build. Every wait lets Qt events run, so a program under test on
// the same thread keeps working meanwhile.
class BoardProcess
{
public:
    struct State
    {
        bool valid = false;
        int address = 0;
        uint8_t relays = 0;  // as the relays show
        uint8_t written = 0; // as last written
        uint8_t inputs = 0;
        bool report = false;
        std::array<LogicStep, 8> steps{};
        qint64 frames = 0; // requests carried out
        bool lineOpen = false;
    };

    // linkPath: where the line is linked (e.g. <settings>/ports/COM1); extra
    // arguments such as "--address" "5" or "--silent".
    explicit BoardProcess(QString linkPath, QStringList extraArgs = {});
    ~BoardProcess();
    BoardProcess(const BoardProcess &) = delete;
    BoardProcess &operator=(const BoardProcess &) = delete;

    // Starts the board and waits for its device path. False when it does not
    // start (see error()).
    bool start(int timeoutMs = 10000);
    bool running() const { return m_proc.state() == QProcess::Running; }
    QString devicePath() const { return m_device; }
    QString linkPath() const { return m_link; }
    QString error() const { return m_error; }

    // Sends one command line and returns the line it printed ("ok",
    // "error: ...", the state line), or an empty string on time-out.
    QString command(const QString &line, int timeoutMs = 5000);
    // Sends "quit" and waits for the board to end; true when it ended.
    bool quit(int timeoutMs = 5000);

    State state();
    static State parseState(const QString &line);

    static QString executable();

private:
    QString readLine(int timeoutMs);

    QProcess m_proc;
    QString m_link;
    QStringList m_args;
    QString m_device;
    QString m_error;
};
