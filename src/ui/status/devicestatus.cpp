#include "status/devicestatus.h"

#include "app/messages.h"
#include "board/boardsession.h"
#include "app/widgets.h"
#include "protocol/frames.h"
#include "board/devicestate.h"
#include "logic/logicstep.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QScopedValueRollback>

namespace {

constexpr int kLampW = 30;
constexpr int kLampH = 28;

// A round lamp, 30 by 28 pixels: a bright red one for on, a dark one for off.
QPixmap lampPicture(bool lit)
{
    QPixmap pm(kLampW, kLampH);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(2.5, 1.5, 25, 25);
    QRadialGradient g(r.center() - QPointF(4, 4), 14);
    if (lit) {
        g.setColorAt(0, QColor(255, 200, 200));
        g.setColorAt(0.35, QColor(255, 30, 30));
        g.setColorAt(1, QColor(150, 0, 0));
    } else {
        g.setColorAt(0, QColor(120, 120, 120));
        g.setColorAt(1, QColor(40, 40, 40));
    }
    p.setBrush(g);
    p.setPen(QPen(QColor(20, 20, 20), 1.5));
    p.drawEllipse(r);
    return pm;
}

// Columns of a lamp row: eight places, bit 7 leftmost, bit 0 rightmost.
constexpr int kColumnX0 = 20;
constexpr int kColumnStep = 60;
int columnX(int bit) { return kColumnX0 + (7 - bit) * kColumnStep; }

} // namespace

devicestatus::devicestatus(QWidget *parent, DeviceState *state, StatusLink link)
    : QWidget(parent, Qt::Window), m_state(state), m_link(std::move(link))
{
    setObjectName(QStringLiteral("devicestatus"));
    setWindowTitle(QStringLiteral("当前所有设备状态"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(690, 536);
    setFont(ui::simSun(10.5));

    // Relay check boxes: Check2..Check5 are Y07..Y04 (upper row),
    // Check6..Check9 are Y03..Y00 (lower row).
    Frame3 = ui::place<QGroupBox>(this, QStringLiteral("Frame3"), 16, 8, 505, 105, QStringLiteral("位操作命令"));
    QCheckBox **named[8] = {&Check9, &Check8, &Check7, &Check6, &Check5, &Check4, &Check3, &Check2};
    for (int k = 0; k < 8; ++k) {
        const int number = 9 - k; // Check9 is Y00
        const int col = (7 - k) % 4;
        const int row = k >= 4 ? 0 : 1;
        QCheckBox *c = ui::place<QCheckBox>(Frame3, QStringLiteral("Check%1").arg(number), 16 + col * 120, 30 + row * 38,
                                            112, 24, QStringLiteral("继电器") + signalName(QLatin1Char('Y'), k));
        *named[k] = c;
        m_relayChecks[k] = c;
        // The state follows the box however it was changed (mouse, keyboard,
        // an accessibility tool's toggle action); ShowState's own updates are
        // left out.
        connect(c, &QCheckBox::toggled, this, [this, k](bool ticked) {
            if (m_state && !m_showing)
                m_state->setRelayCheck(k, ticked);
        });
    }

    const QPixmap lit = lampPicture(true);
    const QPixmap dark = lampPicture(false);
    auto lampRow = [&](QGroupBox *frame, int lampBase, int firstLabel, bool labelsRising, QChar letter) {
        for (int bit = 0; bit < 8; ++bit) {
            const int labelNo = labelsRising ? firstLabel + bit : firstLabel + (7 - bit);
            const int x = columnX(bit);
            ui::place<QLabel>(frame, QStringLiteral("Label%1").arg(labelNo), x, 44, 40, 18,
                              signalName(letter, bit));
            const int i = lampBase + bit;
            QLabel *on = ui::place<QLabel>(frame, ui::arrayName(QStringLiteral("k12"), i), x + 2, 70, kLampW, kLampH);
            QLabel *off = ui::place<QLabel>(frame, ui::arrayName(QStringLiteral("g12"), i), x + 2, 70, kLampW, kLampH);
            on->setPixmap(lit);
            off->setPixmap(dark);
            on->hide();
            m_lit[i] = on;
            m_dark[i] = off;
        }
    };
    // Relay lamps: Label11..Label18 read Y07..Y00 from left to right.
    Frame1 = ui::place<QGroupBox>(this, QStringLiteral("Frame1"), 16, 120, 505, 140);
    Label10 = ui::place<QLabel>(Frame1, QStringLiteral("Label10"), 8, 14, 120, 20, QStringLiteral("继电器状态："));
    lampRow(Frame1, DeviceState::kRelayLampBase, 11, false, QLatin1Char('Y'));
    // Input lamps: Label19..Label26 are X00..X07, X07 leftmost.
    Frame2 = ui::place<QGroupBox>(this, QStringLiteral("Frame2"), 16, 272, 505, 140);
    Label27 = ui::place<QLabel>(Frame2, QStringLiteral("Label27"), 8, 14, 120, 20, QStringLiteral(" 输入状态："));
    lampRow(Frame2, DeviceState::kInputLampBase, 19, true, QLatin1Char('X'));

    auto button = [&](const char *name, const QString &caption, int x, int y) {
        return ui::place<QPushButton>(this, QLatin1String(name), x, y, 121, 41, caption);
    };
    Command2 = button("Command2", QStringLiteral("位 操 作"), 544, 16);
    OPENALL = button("OPENALL", QStringLiteral("继电器全开"), 544, 64);
    CLOSEALL = button("CLOSEALL", QStringLiteral("继电器全关"), 544, 112);
    Command3 = button("Command3", QStringLiteral("读输出状态"), 544, 176);
    Command4 = button("Command4", QStringLiteral("读输入状态"), 544, 328);
    Check1 = ui::place<QCheckBox>(this, QStringLiteral("Check1"), 24, 440, 200, 25, QStringLiteral("输入变化主动上传"));
    Command1 = button("Command1", QStringLiteral("退    出"), 272, 472);

    connect(Command2, &QPushButton::clicked, this, &devicestatus::Command2_Click);
    connect(OPENALL, &QPushButton::clicked, this, &devicestatus::OPENALL_Click);
    connect(CLOSEALL, &QPushButton::clicked, this, &devicestatus::CLOSEALL_Click);
    connect(Command3, &QPushButton::clicked, this, &devicestatus::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &devicestatus::Command4_Click);
    // Every change of the box by the user sends, however it was made; an
    // answer or a reopening that sets it through ShowState sends nothing.
    connect(Check1, &QCheckBox::toggled, this, [this] {
        if (!m_showing)
            Check1_Click();
    });
    connect(Command1, &QPushButton::clicked, this, &devicestatus::Command1_Click);

    connect(state, &DeviceState::changed, this, &devicestatus::ShowState);
    ShowState();
}

QCheckBox *devicestatus::relayCheck(int k) const { return k >= 0 && k < 8 ? m_relayChecks[k] : nullptr; }

QLabel *devicestatus::litLamp(int i) const { return i >= 0 && i < 18 ? m_lit[i] : nullptr; }

QLabel *devicestatus::darkLamp(int i) const { return i >= 0 && i < 18 ? m_dark[i] : nullptr; }

void devicestatus::ShowState()
{
    if (!m_state)
        return;
    const DeviceState &s = *m_state;
    const QScopedValueRollback<bool> showing(m_showing, true);
    for (int i = 0; i < 18; ++i) {
        if (!m_lit[i])
            continue;
        const bool on = s.lamp(i);
        m_lit[i]->setVisible(on);
        m_dark[i]->setVisible(!on);
        // A screen reader hears the lamp's signal and whether it is on.
        const QString name = signalName(i < DeviceState::kInputLampBase ? QLatin1Char('Y') : QLatin1Char('X'),
                                        i % DeviceState::kInputLampBase)
                             + (on ? QStringLiteral(" 开") : QStringLiteral(" 关"));
        m_lit[i]->setAccessibleName(name);
        m_dark[i]->setAccessibleName(name);
    }
    for (int k = 0; k < 8; ++k)
        m_relayChecks[k]->setChecked(s.relayCheck(k));
    Check1->setChecked(s.check1());
}

void devicestatus::Command2_Click()
{
    QPointer<devicestatus> self(this);
    const std::optional<uint8_t> a = m_link.commandAddress(true);
    if (!a || !alive(self) || !m_state)
        return;
    m_link.session->send(frames::WriteRelaysFrame(*a, m_state->relayCheckMask()));
}

void devicestatus::setAllRelays(bool on)
{
    QPointer<devicestatus> self(this);
    QPointer<DeviceState> state = m_state;
    Messages *messages = m_link.messages;
    if (const std::optional<uint8_t> a = m_link.commandAddress(true))
        m_link.session->send(frames::WriteRelaysFrame(*a, on ? 0xFF : 0x00));
    // The boxes follow the button whether or not anything was sent, unless
    // the window went away during a message box.
    if (!alive(self) || !state || messages->quitting())
        return;
    state->setAllRelayChecks(on);
}

void devicestatus::OPENALL_Click() { setAllRelays(true); }

void devicestatus::CLOSEALL_Click() { setAllRelays(false); }

void devicestatus::sendRead(bool relays)
{
    // The read buttons leave the focus where it is.
    if (const std::optional<uint8_t> a = m_link.commandAddress(false))
        m_link.session->send(relays ? frames::ReadRelaysFrame(*a) : frames::ReadInputsFrame(*a));
}

void devicestatus::Command3_Click() { sendRead(true); }

void devicestatus::Command4_Click() { sendRead(false); }

void devicestatus::Check1_Click()
{
    // The click has toggled the box already; the box keeps its new state
    // even when nothing can be sent.
    const bool on = Check1->isChecked();
    if (m_state)
        m_state->setCheck1(on);
    if (const std::optional<uint8_t> a = m_link.commandAddress(true))
        m_link.session->send(frames::InputReportFrame(*a, on));
}

void devicestatus::Command1_Click() { close(); }

void devicestatus::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_closed)
        return;
    m_closed = true;
    if (m_link.closed)
        m_link.closed(this);
}
