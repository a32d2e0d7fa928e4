#pragma once

#include <QObject>
#include "monitor/busmonitor.h"

#include <QPointer>

class AnswerCheck;
class BoardPanel;
class BoardSession;
class BusScanDialog;
class BusFrameModel;
class Messages;
class PortPanel;
class QLineEdit;
class QPushButton;
class QWidget;
class ReceivePane;
class SerialPort;

// The bus diagnostics of the window: the status line right of the counter
// button (TxtBusCheck) with the answer checks' counts and last problem, the
// button "总线监视" (CmdBusMonitor, also F12) and the bus monitor it opens.
// It sees the bus only through what the session writes and the receive
// pane reads, so the reply parser and the lamps work as before.
class DiagnosticsPanel : public QObject
{
    Q_OBJECT
public:
    DiagnosticsPanel(QWidget *host, SerialPort *port, Messages *messages);

    // Listens to the frames written, the bytes received and the openings.
    void attach(BoardSession *session, ReceivePane *receive, PortPanel *portPanel, BoardPanel *board);

    AnswerCheck *check() const { return m_check; }
    BusFrameModel *frames() const { return m_model; }
    BusMonitor *monitor() const { return m_monitor; }
    BusScanDialog *scanDialog() const { return m_scanDialog; }

public slots:
    void CmdBusMonitor_Click();
    void showLine();
    void openScan();

private:
    QWidget *m_host;
    SerialPort *m_port;
    Messages *m_messages;
    AnswerCheck *m_check;
    BusFrameModel *m_model;
    QPointer<BusMonitor> m_monitor;
    BusScanDialog *m_scanDialog = nullptr;
    PortPanel *m_portPanel = nullptr;
    BoardPanel *m_board = nullptr;
    QLineEdit *TxtBusCheck = nullptr;
};
