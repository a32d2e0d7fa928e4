#pragma once

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class relay;

// The device status window: relay and input lamps, the relay check boxes,
// relay switching and the input-report switch. It shows the main window's
// DeviceState and sends through the main window; it keeps no data of its own.
// Modeless, deleted when closed.
class devicestatus : public QWidget
{
    Q_OBJECT
public:
    explicit devicestatus(relay *main);

    // Brings every lamp and check box in line with the main window's state.
    void ShowState();

    // The relay check box of Yk (Check9 is Y00, Check2 is Y07).
    QCheckBox *relayCheck(int k) const;
    // The lit and the dark picture of lamp i (0..7, 10..17).
    QLabel *litLamp(int i) const;
    QLabel *darkLamp(int i) const;

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

    QPointer<relay> m_main;
    QCheckBox *m_relayChecks[8] = {};
    QLabel *m_lit[18] = {};
    QLabel *m_dark[18] = {};
    bool m_closed = false;
};
