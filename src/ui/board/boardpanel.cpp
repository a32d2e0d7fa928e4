// Board commands: search, new address, reset, program download, device
// status and direct output.
#include "board/boardpanel.h"

#include "app/messages.h"
#include "app/widgets.h"
#include "board/address.h"
#include "board/boardsession.h"
#include "logic/stepgrid.h"
#include "protocol/frames.h"
#include "serial/portsettings.h"
#include "status/statuswindowhost.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>

namespace {

// Reports a mouse press in the new-address box as its click.
class ClickFilter : public QObject
{
public:
    ClickFilter(BoardPanel *commands, QObject *parent) : QObject(parent), m_commands(commands) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            m_commands->newadd_Click();
        return QObject::eventFilter(watched, event);
    }

private:
    BoardPanel *m_commands;
};

} // namespace

BoardPanel::BoardPanel(QWidget *host, BoardSession *session, StatusWindowHost *status, Messages *messages)
    : QObject(host), m_session(session), m_status(status), m_messages(messages)
{
    setObjectName(QStringLiteral("boardCommands"));
    const QFont big = ui::simSun(14.25);
    auto *Label1 = ui::place<QLabel>(host, QStringLiteral("Label1"), 8, 72, 110, 21, QStringLiteral("485原地址："));
    Combo1 = ui::place<QComboBox>(host, QStringLiteral("Combo1"), 16, 96, 73, 27);
    Combo1->setEditable(true);
    Combo1->setEditText(QStringLiteral("33"));
    Combo1->setInsertPolicy(QComboBox::NoInsert);

    auto button = [&](QPushButton *&b, const char *name, const QString &caption, int x, int y, int w, int h) {
        b = ui::place<QPushButton>(host, QLatin1String(name), x, y, w, h, caption);
        b->setFont(big);
    };
    button(writeadd, "writeadd", QStringLiteral("改485地址"), 8, 136, 105, 33);
    auto *Label9 = ui::place<QLabel>(host, QStringLiteral("Label9"), 8, 184, 64, 27, QStringLiteral("新地址："));
    newadd = ui::place<QLineEdit>(host, QStringLiteral("newadd"), 72, 184, 41, 27, QStringLiteral("33"));
    button(writefirst, "writefirst", QStringLiteral("写入设置"), 8, 232, 105, 33);
    writefirst->setFont(ui::simSun(15));
    button(CmdReset, "CmdReset", QStringLiteral("复 位"), 8, 280, 105, 33);
    button(sdevice, "sdevice", QStringLiteral("搜索设备"), 8, 328, 105, 33);
    button(Command1, "Command1", QStringLiteral("设备状态"), 8, 408, 97, 33);
    for (QWidget *w : {static_cast<QWidget *>(Label1), static_cast<QWidget *>(Combo1), static_cast<QWidget *>(Label9),
                       static_cast<QWidget *>(newadd)})
        w->setFont(big);
    // Reached only by widening the window.
    Command2 = ui::place<QPushButton>(host, QStringLiteral("Command2"), 1224, 48, 105, 33, QStringLiteral("直接继电器输出"));
    Command2->setFont(ui::simSun(10.5));

    connect(writeadd, &QPushButton::clicked, this, &BoardPanel::writeadd_Click);
    connect(writefirst, &QPushButton::clicked, this, &BoardPanel::writefirst_Click);
    connect(CmdReset, &QPushButton::clicked, this, &BoardPanel::CmdReset_Click);
    connect(sdevice, &QPushButton::clicked, this, &BoardPanel::sdevice_Click);
    connect(Command1, &QPushButton::clicked, this, &BoardPanel::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &BoardPanel::Command2_Click);
    newadd->installEventFilter(new ClickFilter(this, newadd));
    connect(newadd, &QLineEdit::textChanged, this, &BoardPanel::newadd_Change);
}

QString BoardPanel::addressText() const
{
    return Combo1->currentText();
}

void BoardPanel::setAddressText(const QString &text)
{
    Combo1->setEditText(text);
}

std::optional<uint8_t> BoardPanel::CommandAddress(bool moveFocus)
{
    if (Combo1->currentText().isEmpty()) {
        m_messages->show(Messages::addressMissing(), Dialogs::Critical);
        if (moveFocus && !m_messages->quitting())
            sdevice->setFocus();
        return std::nullopt;
    }
    const std::optional<uint8_t> a = addressFromText(Combo1->currentText());
    if (!a) {
        m_messages->show(Messages::addressRange(), Dialogs::Critical);
        return std::nullopt;
    }
    if (!m_session->portOpen()) {
        m_messages->show(Messages::portNotOpen(), Dialogs::Warning);
        return std::nullopt;
    }
    return a;
}

void BoardPanel::sdevice_Click()
{
    if (!m_session->portOpen()) {
        m_messages->show(Messages::portNotOpen(), Dialogs::Warning);
        return;
    }
    const ui::ButtonsLock lock{sdevice, CmdReset, writefirst, writeadd, Command2};
    m_session->send(frames::SearchFrame());
}

void BoardPanel::writeadd_Click()
{
    const QString text = newadd->text();
    if (text.isEmpty()) {
        m_messages->show(Messages::newAddressMissing(), Dialogs::Critical);
        if (!m_messages->quitting())
            sdevice->setFocus();
        return;
    }
    const std::optional<uint8_t> n = addressFromText(text);
    if (!n) {
        m_messages->show(Messages::addressRange(), Dialogs::Critical);
        return;
    }
    if (!m_session->send(frames::SetAddressFrame(*n)))
        return;
    Combo1->setEditText(text);
}

void BoardPanel::newadd_Click()
{
    newaddRemembered = newadd->text();
}

void BoardPanel::newadd_Change()
{
    // Runs again for each change it makes itself, before going on.
    if (leadingNumber(newadd->text()) > 255) {
        m_messages->show(Messages::addressRange(), Dialogs::Critical);
        if (m_messages->quitting())
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

void BoardPanel::CmdReset_Click()
{
    if (const std::optional<uint8_t> a = CommandAddress(true))
        m_session->send(frames::ResetFrame(*a));
}

void BoardPanel::writefirst_Click()
{
    // The address is read this once: a change of Combo1 during the download
    // does not reach the remaining frames.
    const std::optional<uint8_t> address = CommandAddress(true);
    if (!address)
        return;
    const ui::ButtonsLock lock{writefirst, CmdReset, writeadd};
    m_session->download(*address, [this](int s) { return m_grid->ReadLogicStep(s); });
}

void BoardPanel::Command1_Click()
{
    // Address and port are checked once, before anything happens, so the
    // command is never left half done by a bad address.
    const std::optional<uint8_t> a = CommandAddress(true);
    if (!a)
        return;
    m_status->ShowDeviceStatus();
    // The window may be closed during the waits: from here on it is not touched.
    m_session->readStatus(*a);
}

void BoardPanel::Command2_Click()
{
    const std::optional<uint8_t> a = CommandAddress(true);
    if (!a)
        return;
    std::array<uint8_t, 8> outputs{};
    for (int n = 1; n <= 8; ++n)
        outputs[std::size_t(n - 1)] = m_grid->ReadLogicStep(n).outMask;
    m_session->send(frames::DirectOutputFrame(*a, outputs));
}
