#include "diag/diagnosticspanel.h"

#include "app/widgets.h"
#include "board/boardpanel.h"
#include "board/boardsession.h"
#include "monitor/busscandialog.h"
#include "diag/answercheck.h"
#include "diag/busframemodel.h"
#include "monitor/busmonitor.h"
#include "port/portpanel.h"
#include "serial/serialport.h"
#include "terminal/receivepane.h"

#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

DiagnosticsPanel::DiagnosticsPanel(QWidget *host, SerialPort *port, Messages *messages)
    : QObject(host), m_host(host), m_port(port), m_messages(messages), m_check(new AnswerCheck(port, this)),
      m_model(new BusFrameModel(BusFrameModel::kDefaultCapacity, this))
{
    setObjectName(QStringLiteral("diagnostics"));
    // Right of "计数清零" in the status row; nothing else moves.
    TxtBusCheck = ui::place<QLineEdit>(host, QStringLiteral("TxtBusCheck"), 624, 656, 444, 18);
    ui::setBoxColor(TxtBusCheck, ui::statusYellow());
    TxtBusCheck->setFrame(false);
    TxtBusCheck->setReadOnly(true);
    TxtBusCheck->setAccessibleName(QStringLiteral("总线检查"));
    auto *CmdBusMonitor = ui::place<QPushButton>(host, QStringLiteral("CmdBusMonitor"), 1072, 656, 72, 20,
                                                 QStringLiteral("总线监视"));
    connect(CmdBusMonitor, &QPushButton::clicked, this, &DiagnosticsPanel::CmdBusMonitor_Click);
    auto *f12 = new QShortcut(QKeySequence(Qt::Key_F12), host);
    f12->setContext(Qt::WindowShortcut);
    connect(f12, &QShortcut::activated, this, &DiagnosticsPanel::CmdBusMonitor_Click);

    RtuClient *client = m_check->client();
    connect(client, &RtuClient::frameSent, m_model, &BusFrameModel::addSent);
    connect(client, &RtuClient::lineFrame, m_model, &BusFrameModel::addReceived);
    connect(m_check, &AnswerCheck::changed, this, &DiagnosticsPanel::showLine);
    connect(m_port, &SerialPort::portLost, this, [this](const QString &reason) {
        m_check->note(QStringLiteral("串口已断开（%1）：请检查串口适配器").arg(reason));
    });
    showLine();
}

void DiagnosticsPanel::attach(BoardSession *session, ReceivePane *receive, PortPanel *portPanel, BoardPanel *board)
{
    m_portPanel = portPanel;
    m_board = board;
    connect(session, &BoardSession::frameWritten, m_check, &AnswerCheck::frameWritten);
    connect(receive, &ReceivePane::bytesReceived, m_check, &AnswerCheck::bytesReceived);
    connect(portPanel, &PortPanel::openFailed, m_check, &AnswerCheck::note);
    connect(portPanel, &PortPanel::portReconnected, m_check, &AnswerCheck::note);
    connect(portPanel, &PortPanel::portOpened, this, [this] { m_check->setLine(m_port->settings()); });
}

void DiagnosticsPanel::showLine()
{
    const QString text = m_check->lineText();
    TxtBusCheck->setText(text);
    TxtBusCheck->setCursorPosition(0);
    TxtBusCheck->setToolTip(m_check->lastMessage());
    if (m_monitor)
        m_monitor->setNote(text);
}

void DiagnosticsPanel::CmdBusMonitor_Click()
{
    // From now on the monitor lists every byte of the line.
    m_check->setWatchAll(true);
    if (!m_monitor) {
        m_monitor = new BusMonitor(m_model, m_messages, m_host);
        m_monitor->setNote(m_check->lineText());
        connect(m_monitor, &BusMonitor::scanRequested, this, &DiagnosticsPanel::openScan);
    }
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

void DiagnosticsPanel::openScan()
{
    if (!m_scanDialog) {
        BusScanDialog::Link link;
        link.port = m_port;
        link.check = m_check;
        link.baudRates = [this] { return m_portPanel ? m_portPanel->baudRates() : QStringList(); };
        link.apply = [this](int address, int baud) {
            if (baud > 0 && m_portPanel)
                m_portPanel->setBaudRate(QString::number(baud));
            if (m_board)
                m_board->setAddressText(QString::number(address));
        };
        m_scanDialog = new BusScanDialog(link, m_monitor ? static_cast<QWidget *>(m_monitor) : m_host);
    }
    m_scanDialog->show();
    m_scanDialog->raise();
}
