#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class BoardSession;
class Messages;
class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;
class StatusWindowHost;
class StepGrid;

// The board commands: the address box and the new address, search, reset,
// program download, device status and direct output.
class BoardPanel : public QObject
{
    Q_OBJECT
public:
    BoardPanel(QWidget *host, BoardSession *session, StatusWindowHost *status, Messages *messages);
    // The grid that download and direct output read.
    void setGrid(StepGrid *grid) { m_grid = grid; }

    // The address box's text (the reply parser compares answers with it).
    QString addressText() const;
    void setAddressText(const QString &text);
    // Everything an addressed command checks before it sends: the address
    // box not empty, its range and the open port, each with its message.
    // nullopt: the command sends nothing.
    std::optional<uint8_t> CommandAddress(bool moveFocus);
    // The text newadd had when the user last clicked into it.
    QString newaddRemembered;

public slots:
    void sdevice_Click();
    void writeadd_Click();
    void writefirst_Click();
    void CmdReset_Click();
    void Command1_Click();
    void Command2_Click();
    void newadd_Click();
    void newadd_Change();

private:
    BoardSession *m_session;
    StepGrid *m_grid = nullptr;
    StatusWindowHost *m_status;
    Messages *m_messages;
    QComboBox *Combo1 = nullptr;
    QLineEdit *newadd = nullptr;
    QPushButton *writeadd = nullptr, *writefirst = nullptr, *CmdReset = nullptr, *sdevice = nullptr,
                *Command1 = nullptr, *Command2 = nullptr;
};
