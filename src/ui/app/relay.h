#pragma once

#include "app/dialogs.h"

#include <QWidget>

#include <functional>
#include <memory>

class AboutPanel;
class BoardPanel;
class BoardSession;
class DiagnosticsPanel;
class FileCommands;
class NamesGroup;
class PortPanel;
class PortResolver;
class ReceivePane;
class ReplyStream;
class SendPane;
class SerialPort;
class StatusWindowHost;
class StepGrid;
class TrafficCounters;

// The main window: a shell that builds the groups of controls, wires them to
// the core (port, reply parser, board session, counters) and keeps start-up,
// quit, the clock and the status row. Each group owns its controls and
// their handlers; controls carry their given names as objectNames.
class relay : public QWidget
{
    Q_OBJECT
public:
    struct Options
    {
        QString settingsFolder;                     // holds sysini.txt and ports/
        std::shared_ptr<const PortResolver> resolver; // COMn -> device; made from the folder when null
        Dialogs *dialogs = nullptr;                 // message boxes and file dialogs; Qt's when null
        SerialPort *port = nullptr;                 // taken over; a QtSerialPort when null
        std::function<void()> quitApplication;      // ends the program; QCoreApplication::exit when empty
    };

    explicit relay(Options options, QWidget *parent = nullptr);
    ~relay() override;

    // Start-up; the caller runs it once, before showing the window.
    void Form_Load();
    bool isQuitting() const;

    // The port, and the window's shared open/save dialog.
    SerialPort *MSComm = nullptr;
    CommonDialog &commonDialog();

    // The core parts and the groups of the window.
    ReplyStream *replies() const;
    BoardSession *session() const;
    TrafficCounters *counters() const;
    PortPanel *portGroup() const;
    BoardPanel *boardCommands() const;
    StepGrid *stepGrid() const;
    NamesGroup *names() const;
    StatusWindowHost *statusWindows() const;
    ReceivePane *receivePane() const;
    SendPane *sendPane() const;
    FileCommands *fileCommands() const;
    AboutPanel *about() const;
    DiagnosticsPanel *diagnostics() const;
    // The widget that holds every control, inside the window's scroll area.
    QWidget *content() const;

public slots:
    void CmdQuit_Click();
    void TmrNowTime_Timer();
    void CmdClearCounter_Click();
    void ShowCounters();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildShell();
    void wireGroups();

    struct Parts;
    std::unique_ptr<Parts> d;
};
