#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class BoardSession;
class DeviceState;
class Messages;

// What the status window may ask of the rest of the program.
struct StatusLink
{
    // Checks address and port (with their messages); nullopt: send nothing.
    std::function<std::optional<uint8_t>(bool moveFocus)> commandAddress;
    BoardSession *session = nullptr;
    Messages *messages = nullptr;
    // The window is closing.
    std::function<void(class devicestatus *)> closed;
};

// The device status window: relay and input lamps, the relay check boxes,
// relay switching and the input-report switch. It shows a DeviceState and
// follows its changes; it sends through the board session and keeps no data
// of its own. Modeless, deleted when closed.
class devicestatus : public QWidget
{
    Q_OBJECT
public:
    devicestatus(QWidget *parent, DeviceState *state, StatusLink link);

    // Brings every lamp and check box in line with the state.
    void ShowState();

    // The relay check box of Yk (Check9 is Y00, Check2 is Y07).
    QCheckBox *relayCheck(int k) const;
    // The lit and the dark picture of lamp i (0..7, 10..17).
    QLabel *litLamp(int i) const;
    QLabel *darkLamp(int i) const;

public slots:
    void Command2_Click();
    void OPENALL_Click();
    void CLOSEALL_Click();
    void Command3_Click();
    void Command4_Click();
    void Check1_Click();
    void Command1_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setAllRelays(bool on);
    void sendRead(bool relays);
    // False once the window was closed or deleted (a nested message box or
    // wait may outlive it).
    static bool alive(const QPointer<devicestatus> &self) { return self && !self->m_closed; }

    QGroupBox *Frame3 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label27 = nullptr;
    QCheckBox *Check1 = nullptr;
    QCheckBox *Check2 = nullptr, *Check3 = nullptr, *Check4 = nullptr, *Check5 = nullptr;
    QCheckBox *Check6 = nullptr, *Check7 = nullptr, *Check8 = nullptr, *Check9 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *OPENALL = nullptr;
    QPushButton *CLOSEALL = nullptr;
    QPointer<DeviceState> m_state;
    StatusLink m_link;
    QCheckBox *m_relayChecks[8] = {};
    QLabel *m_lit[18] = {};
    QLabel *m_dark[18] = {};
    bool m_closed = false;
    bool m_showing = false; // ShowState is setting the boxes
};
