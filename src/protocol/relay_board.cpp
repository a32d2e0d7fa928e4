// Board commands of the main window (search, new address, reset, device
// status, direct output) and the main window's side of the status window:
// its state, its opening and closing.
#include "app/relay.h"

#include "app/widgets.h"
#include "protocol/frames.h"
#include "serial/portsettings.h"
#include "status/devicestate.h"
#include "status/devicestatus.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

#include <array>

namespace {

const QString kRangeMessage = QStringLiteral("485地址范围为0-255！");

// Reports a mouse press in the new-address box as its click.
class ClickFilter : public QObject
{
public:
    ClickFilter(relay *main, QObject *parent) : QObject(parent), m_main(main) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            m_main->newadd_Click();
        return QObject::eventFilter(watched, event);
    }

private:
    relay *m_main;
};

} // namespace

relay::StatusWindowHolder::~StatusWindowHolder()
{
    delete window.data();
}

void relay::buildBoardCommands()
{
    // Reached only by widening the window.
    Command2 = ui::place<QPushButton>(this, QStringLiteral("Command2"), 1224, 48, 105, 33, QStringLiteral("直接继电器输出"));
    Command2->setFont(ui::simSun(10.5));
    connect(Command2, &QPushButton::clicked, this, &relay::Command2_Click);

    newadd->installEventFilter(new ClickFilter(this, newadd));
    connect(newadd, &QLineEdit::textChanged, this, &relay::newadd_Change);
}

std::optional<uint8_t> relay::CommandAddress(bool moveFocus)
{
    if (!RequireDeviceAddress(moveFocus))
        return std::nullopt;
    const std::optional<uint8_t> a = DeviceAddressByte();
    if (!a || !RequirePortOpen())
        return std::nullopt;
    return a;
}

void relay::sdevice_Click()
{
    if (!RequirePortOpen())
        return;
    // The buttons are given back as they were: a search clicked while the
    // program download waits must not re-enable the download's buttons.
    const std::array<QPushButton *, 5> buttons{sdevice, CmdReset, writefirst, writeadd, Command2};
    std::array<bool, 5> wasEnabled{};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        wasEnabled[i] = buttons[i] && buttons[i]->isEnabled();
        if (buttons[i])
            buttons[i]->setEnabled(false);
    }
    SendFrame(frames::SearchFrame());
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i])
            buttons[i]->setEnabled(wasEnabled[i]);
    }
}

void relay::writeadd_Click()
{
    const QString text = newadd->text();
    if (text.isEmpty()) {
        ShowMessage(QStringLiteral("485地址不能为空！"), Dialogs::Critical);
        if (!m_quitting)
            sdevice->setFocus();
        return;
    }
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < 0 || n > 255) {
        ShowMessage(kRangeMessage, Dialogs::Critical);
        return;
    }
    if (!SendFrame(frames::SetAddressFrame(uint8_t(n))))
        return;
    Combo1->setEditText(text);
}

void relay::newadd_Click()
{
    newaddRemembered = newadd->text();
}

void relay::newadd_Change()
{
    // Runs again for each change it makes itself, before going on.
    if (leadingNumber(newadd->text()) > 255) {
        ShowMessage(kRangeMessage, Dialogs::Critical);
        if (m_quitting)
            return;
        // The remembered text never reads above 255; should it ever, the box
        // is emptied instead so the check cannot run in circles.
        newadd->setText(leadingNumber(newaddRemembered) > 255 ? QString() : newaddRemembered);
    }
    const QString now = newadd->text();
    if (now.size() == 2 && leadingNumber(now) < 10) {
        newadd->setText(now.mid(1));
        newadd->setCursorPosition(1);
    }
}

void relay::CmdReset_Click()
{
    if (const std::optional<uint8_t> a = CommandAddress(true))
        SendFrame(frames::ResetFrame(*a));
}

void relay::Command1_Click()
{
    // Address and port are checked once, before anything happens, so the
    // command is never left half done by a bad address.
    const std::optional<uint8_t> a = CommandAddress(true);
    if (!a)
        return;
    ShowDeviceStatus();
    // The window may be closed during the waits: from here on it is not touched.
    if (!Sleep2(100))
        return;
    SendFrame(frames::ReadRelaysFrame(*a));
    if (!Sleep2(500))
        return;
    SendFrame(frames::ReadInputsFrame(*a));
}

void relay::Command2_Click()
{
    const std::optional<uint8_t> a = CommandAddress(true);
    if (!a)
        return;
    std::array<uint8_t, 8> outputs{};
    for (int n = 1; n <= 8; ++n)
        outputs[std::size_t(n - 1)] = ReadLogicStep(n).outMask;
    SendFrame(frames::DirectOutputFrame(*a, outputs));
}

DeviceState &relay::deviceState()
{
    if (!m_deviceState)
        m_deviceState = std::make_shared<DeviceState>();
    return *m_deviceState;
}

void relay::ApplyRelayState(uint8_t relays)
{
    deviceState().applyRelayState(relays);
    if (devicestatus *win = statusWindow())
        win->ShowState();
}

void relay::ApplyInputState(uint8_t inputs)
{
    deviceState().applyInputState(inputs);
    if (devicestatus *win = statusWindow())
        win->ShowState();
}

devicestatus *relay::statusWindow() const
{
    return m_statusWindow.window.data();
}

devicestatus *relay::ShowDeviceStatus()
{
    if (devicestatus *open = statusWindow()) {
        open->show();
        open->raise();
        return open;
    }
    deviceState();
    auto *win = new devicestatus(this);
    m_statusWindow.window = win;
    if (m_statusPos)
        win->move(*m_statusPos);
    win->show();
    return win;
}

void relay::DeviceStatusClosed(devicestatus *window)
{
    if (window != statusWindow())
        return;
    m_statusPos = window->pos();
    m_statusWindow.window = nullptr;
    m_deviceState.reset();
}
