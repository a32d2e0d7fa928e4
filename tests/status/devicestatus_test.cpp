#include "relayfixture.h"
#include "controls.h"

#include "protocol/frames.h"
#include "board/devicestate.h"
#include "status/devicestatus.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
const QString kEmptyAddress = QStringLiteral("485原地址不能为空！请点击“搜索设备”按钮");
QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text)); }
} // namespace

TEST(DeviceState, BitOrderOfAnswersAndCheckBoxes)
{
    DeviceState s;
    s.applyRelayState(0x5A);
    for (int k = 0; k < 8; ++k) {
        const bool on = k == 1 || k == 3 || k == 4 || k == 6;
        EXPECT_EQ(s.lamp(k), on) << k;
        EXPECT_EQ(s.relayCheck(k), on) << k;
        EXPECT_FALSE(s.lamp(10 + k));
    }
    EXPECT_EQ(s.relayCheckMask(), 0x5A);
    s.applyInputState(0x81);
    EXPECT_TRUE(s.lamp(10));
    EXPECT_TRUE(s.lamp(17));
    EXPECT_FALSE(s.lamp(11));
    EXPECT_TRUE(s.lamp(1)); // relay lamps untouched by input answers
    // Indexes outside both rows are dark and cannot be set.
    s.setLamp(8, true);
    s.setLamp(18, true);
    EXPECT_FALSE(s.lamp(8));
    EXPECT_FALSE(s.lamp(18));
    EXPECT_FALSE(s.lamp(-1));
}

class StatusWindow : public RelayFixture
{
protected:
    void SetUp() override
    {
        start();
        dialogs.messages.clear();
        ASSERT_TRUE(port->portOpen());
        w->show();
        QApplication::setActiveWindow(w.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        win = w->statusWindows()->ShowDeviceStatus();
        ASSERT_NE(win, nullptr);
    }
    bool lit(int i) const { return win->litLamp(i)->isVisibleTo(win) && !win->darkLamp(i)->isVisibleTo(win); }
    bool dark(int i) const { return !win->litLamp(i)->isVisibleTo(win) && win->darkLamp(i)->isVisibleTo(win); }
    bool allDark() const
    {
        for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14, 15, 16, 17})
            if (!dark(i))
                return false;
        return true;
    }
    int tickedRelayBoxes() const
    {
        int n = 0;
        for (int k = 0; k < 8; ++k)
            n += win->relayCheck(k)->isChecked();
        return n;
    }
    void closeAndWait()
    {
        QPointer<devicestatus> gone(win);
        QTest::mouseClick(control<QPushButton>(win, QStringLiteral("Command1")), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return gone.isNull(); }, 2000));
        win = nullptr;
    }
    devicestatus *win = nullptr;
};

TEST_F(StatusWindow, ControlsCarryTheirNamesCaptionsAndLampsStartDark)
{
    EXPECT_EQ(win->windowTitle(), "当前所有设备状态");
    EXPECT_TRUE(win->isWindow());
    EXPECT_EQ(win->size(), QSize(690, 536));
    const QList<QPair<QString, QString>> captions{
        {"Check2", "继电器Y07"}, {"Check3", "继电器Y06"}, {"Check4", "继电器Y05"}, {"Check5", "继电器Y04"},
        {"Check6", "继电器Y03"}, {"Check7", "继电器Y02"}, {"Check8", "继电器Y01"}, {"Check9", "继电器Y00"},
        {"Check1", "输入变化主动上传"}, {"Command1", "退    出"}, {"Command2", "位 操 作"},
        {"OPENALL", "继电器全开"}, {"CLOSEALL", "继电器全关"}, {"Command3", "读输出状态"}, {"Command4", "读输入状态"}};
    for (const auto &[name, caption] : captions) {
        auto *b = control<QAbstractButton>(win, name);
        ASSERT_NE(b, nullptr) << name.toStdString();
        EXPECT_EQ(b->text(), caption) << name.toStdString();
        EXPECT_FALSE(b->isCheckable() && b->isChecked()) << name.toStdString();
    }
    EXPECT_EQ(control<QGroupBox>(win, "Frame3")->title(), "位操作命令");
    EXPECT_EQ(control<QLabel>(win, "Label10")->text(), "继电器状态：");
    EXPECT_EQ(control<QLabel>(win, "Label27")->text(), " 输入状态：");
    // Check9 is Y00 and lies in the lower row, Check2 (Y07) upper left.
    EXPECT_EQ(win->relayCheck(0), control<QCheckBox>(win, QStringLiteral("Check9")));
    EXPECT_EQ(win->relayCheck(7), control<QCheckBox>(win, QStringLiteral("Check2")));
    EXPECT_LT(control<QCheckBox>(win, QStringLiteral("Check2"))->y(), control<QCheckBox>(win, QStringLiteral("Check9"))->y());
    EXPECT_LT(control<QCheckBox>(win, QStringLiteral("Check2"))->x(), control<QCheckBox>(win, QStringLiteral("Check5"))->x());

    for (int bit = 0; bit < 8; ++bit) {
        auto *y = control<QLabel>(win, QStringLiteral("Label%1").arg(18 - bit));
        auto *x = control<QLabel>(win, QStringLiteral("Label%1").arg(19 + bit));
        ASSERT_TRUE(y && x);
        EXPECT_EQ(y->text(), QStringLiteral("Y0%1").arg(bit));
        EXPECT_EQ(x->text(), QStringLiteral("X0%1").arg(bit));
        for (int i : {bit, 10 + bit}) {
            auto *on = control<QLabel>(win, QStringLiteral("k12(%1)").arg(i));
            auto *off = control<QLabel>(win, QStringLiteral("g12(%1)").arg(i));
            ASSERT_TRUE(on && off) << i;
            EXPECT_EQ(on->size(), QSize(30, 28));
            EXPECT_EQ(on->geometry(), off->geometry());
            EXPECT_EQ(on->pixmap().size(), QSize(30, 28));
            EXPECT_NE(on->pixmap().toImage(), off->pixmap().toImage());
            // Each lamp stands under its label.
            QLabel *label = i < 10 ? y : x;
            EXPECT_EQ(on->parentWidget(), label->parentWidget());
            EXPECT_LT(qAbs(on->geometry().center().x() - label->geometry().center().x()), 10) << i;
        }
        // Bit 7 is leftmost in both rows.
        if (bit > 0) {
            EXPECT_LT(win->litLamp(bit)->x(), win->litLamp(bit - 1)->x());
        }
    }
    EXPECT_TRUE(allDark());
    EXPECT_EQ(tickedRelayBoxes(), 0);
    EXPECT_FALSE(control<QCheckBox>(win, QStringLiteral("Check1"))->isChecked());
}

TEST_F(StatusWindow, BitOperationSendsTheTickedBoxesAndLeavesTheLamps)
{
    QTest::mouseClick(control<QCheckBox>(win, QStringLiteral("Check9")), Qt::LeftButton);
    QTest::mouseClick(control<QCheckBox>(win, QStringLiteral("Check2")), Qt::LeftButton);
    EXPECT_TRUE(port->writes.isEmpty()); // ticking a relay box sends nothing
    QTest::mouseClick(control<QPushButton>(win, QStringLiteral("Command2")), Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, hex("210F0000000801813CED"));
    EXPECT_TRUE(allDark());
}

TEST_F(StatusWindow, AllOnAndAllOffSendAndSetTheBoxes)
{
    QTest::mouseClick(control<QPushButton>(win, QStringLiteral("OPENALL")), Qt::LeftButton);
    EXPECT_EQ(port->writes.last().bytes, hex("210F0000000801FFBCCD"));
    EXPECT_EQ(tickedRelayBoxes(), 8);
    QTest::mouseClick(control<QPushButton>(win, QStringLiteral("CLOSEALL")), Qt::LeftButton);
    EXPECT_EQ(port->writes.last().bytes, hex("210F000000080100FC8D"));
    EXPECT_EQ(tickedRelayBoxes(), 0);
    EXPECT_EQ(port->writes.size(), 2);
    EXPECT_TRUE(allDark());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(StatusWindow, AllOffWithoutAddressStillClearsTheBoxes)
{
    w->statusWindows()->ApplyRelayState(0xFF);
    ASSERT_EQ(tickedRelayBoxes(), 8);
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString());
    control<QPushButton>(win, QStringLiteral("Command3"))->setFocus();
    win->CLOSEALL_Click();
    EXPECT_EQ(dialogs.texts(), QStringList{kEmptyAddress});
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Critical);
    EXPECT_EQ(w->focusWidget(), control<QPushButton>(w.get(), QStringLiteral("sdevice")));
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(tickedRelayBoxes(), 0);
    for (int k = 0; k < 8; ++k)
        EXPECT_TRUE(lit(k)) << k; // the lamps keep what was last read
}

TEST_F(StatusWindow, ReadButtonsSendAndWithoutAddressLeaveTheFocus)
{
    win->Command3_Click();
    win->Command4_Click();
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[0].bytes, frames::ReadRelaysFrame(33));
    EXPECT_EQ(port->writes[1].bytes, frames::ReadInputsFrame(33));

    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString());
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setFocus();
    for (QPushButton *b : {control<QPushButton>(win, QStringLiteral("Command3")), control<QPushButton>(win, QStringLiteral("Command4"))}) {
        dialogs.messages.clear();
        b->click();
        EXPECT_EQ(dialogs.texts(), QStringList{kEmptyAddress});
        EXPECT_EQ(w->focusWidget(), control<QLineEdit>(w.get(), QStringLiteral("newadd")));
    }
    EXPECT_EQ(port->writes.size(), 2);

    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QStringLiteral("999"));
    dialogs.messages.clear();
    win->Command3_Click();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("485地址范围为0-255！")});
    w->portGroup()->ClosePort();
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QStringLiteral("33"));
    dialogs.messages.clear();
    win->Command4_Click();
    EXPECT_EQ(dialogs.texts(), QStringList{QStringLiteral("串口没有打开，请打开串口")});
    EXPECT_EQ(port->writes.size(), 2);
}

TEST_F(StatusWindow, InputReportSwitchSendsOnUserClicksOnly)
{
    QTest::mouseClick(control<QCheckBox>(win, QStringLiteral("Check1")), Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, hex("2106137000014A35"));
    QTest::mouseClick(control<QCheckBox>(win, QStringLiteral("Check1")), Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[1].bytes, hex("2106137000008BF5"));

    // Answers and the window's own updates never send.
    w->statusWindows()->ApplyRelayState(0xFF);
    w->statusWindows()->ApplyRelayState(0x00);
    w->statusWindows()->ApplyInputState(0xFF);
    win->OPENALL_Click();
    EXPECT_EQ(port->writes.size(), 3);

    // Without an address the box keeps its new state and nothing goes out.
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString());
    dialogs.messages.clear();
    QTest::mouseClick(control<QCheckBox>(win, QStringLiteral("Check1")), Qt::LeftButton);
    EXPECT_TRUE(control<QCheckBox>(win, QStringLiteral("Check1"))->isChecked());
    EXPECT_EQ(dialogs.texts(), QStringList{kEmptyAddress});
    EXPECT_EQ(w->focusWidget(), control<QPushButton>(w.get(), QStringLiteral("sdevice")));
    EXPECT_EQ(port->writes.size(), 3);
}

TEST_F(StatusWindow, AnswersSetLampsAndBoxesInBitOrder)
{
    w->statusWindows()->ApplyRelayState(0x5A);
    for (int k = 0; k < 8; ++k) {
        const bool on = k == 1 || k == 3 || k == 4 || k == 6;
        EXPECT_EQ(lit(k), on) << k;
        EXPECT_EQ(dark(k), !on) << k;
        EXPECT_EQ(win->relayCheck(k)->isChecked(), on) << k;
    }
    w->statusWindows()->ApplyInputState(0x81);
    EXPECT_TRUE(lit(10));
    EXPECT_TRUE(lit(17));
    for (int k = 1; k < 7; ++k)
        EXPECT_TRUE(dark(10 + k)) << k;
    // A new relay answer clears what the previous one set.
    w->statusWindows()->ApplyRelayState(0x00);
    EXPECT_EQ(tickedRelayBoxes(), 0);
    EXPECT_TRUE(dark(1));
    EXPECT_TRUE(lit(10));
}

TEST_F(StatusWindow, ClosingDiscardsTheStateAndAnAnswerWhileClosedIsShownOnOpening)
{
    w->statusWindows()->ApplyInputState(0xFF);
    QTest::mouseClick(control<QCheckBox>(win, QStringLiteral("Check1")), Qt::LeftButton);
    ASSERT_TRUE(control<QCheckBox>(win, QStringLiteral("Check1"))->isChecked());
    win->move(123, 77);
    closeAndWait();
    EXPECT_EQ(w->statusWindows()->currentDeviceState(), nullptr);

    // Reopened: dark and clear, Check1 included, at the old place.
    win = w->statusWindows()->ShowDeviceStatus();
    EXPECT_TRUE(allDark());
    EXPECT_FALSE(control<QCheckBox>(win, QStringLiteral("Check1"))->isChecked());
    EXPECT_EQ(win->pos(), QPoint(123, 77));
    closeAndWait();

    // An answer while closed is kept for the next opening.
    w->statusWindows()->ApplyRelayState(0x5A);
    ASSERT_NE(w->statusWindows()->currentDeviceState(), nullptr);
    EXPECT_EQ(w->statusWindows()->statusWindow(), nullptr);
    win = w->statusWindows()->ShowDeviceStatus();
    EXPECT_TRUE(lit(1) && lit(3) && lit(4) && lit(6));
    EXPECT_TRUE(dark(0) && dark(2) && dark(5) && dark(7));
    EXPECT_TRUE(control<QCheckBox>(win, QStringLiteral("Check8"))->isChecked()); // Y01
    EXPECT_FALSE(control<QCheckBox>(win, QStringLiteral("Check9"))->isChecked()); // Y00

    // Opening again while open keeps the state.
    QTest::mouseClick(control<QCheckBox>(win, QStringLiteral("Check9")), Qt::LeftButton);
    EXPECT_EQ(w->statusWindows()->ShowDeviceStatus(), win);
    EXPECT_TRUE(control<QCheckBox>(win, QStringLiteral("Check9"))->isChecked());
    EXPECT_TRUE(lit(1));
}

TEST_F(StatusWindow, ClosingTheWindowDuringItsOwnMessageBoxDoesNotCrash)
{
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString());
    QPointer<devicestatus> gone(win);
    dialogs.onMessage = [&](const ScriptedDialogs::Message &) {
        if (gone)
            gone->close();
    };
    win->OPENALL_Click();
    dialogs.onMessage = nullptr;
    EXPECT_TRUE(QTest::qWaitFor([&] { return gone.isNull(); }, 2000));
    EXPECT_EQ(w->statusWindows()->statusWindow(), nullptr);
    EXPECT_EQ(w->statusWindows()->currentDeviceState(), nullptr); // nothing recreated it
    EXPECT_TRUE(port->writes.isEmpty());
}

TEST_F(StatusWindow, MainWindowGoingFirstTakesTheStatusWindowWithIt)
{
    QPointer<devicestatus> gone(win);
    w.reset();
    EXPECT_TRUE(gone.isNull());
}

namespace {
// Ticks or clears a box the way a screen reader does: its accessible toggle
// action, which toggles the box without a click.
void toggleAccessibly(QWidget *box)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(box);
    ASSERT_NE(iface, nullptr);
    ASSERT_NE(iface->actionInterface(), nullptr);
    ASSERT_TRUE(iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
}
} // namespace

TEST_F(StatusWindow, BoxesToggledThroughTheirAccessibleActionWorkAsByMouse)
{
    // Y00 and Y07 ticked through the toggle action: the bit operation sends them.
    toggleAccessibly(control<QCheckBox>(win, QStringLiteral("Check9")));
    toggleAccessibly(control<QCheckBox>(win, QStringLiteral("Check2")));
    EXPECT_TRUE(win->relayCheck(0)->isChecked());
    EXPECT_TRUE(win->relayCheck(7)->isChecked());
    EXPECT_TRUE(port->writes.empty());
    win->Command2_Click();
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, hex("210F0000000801813CED"));
    toggleAccessibly(control<QCheckBox>(win, QStringLiteral("Check2")));
    win->Command2_Click();
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[1].bytes, frames::WriteRelaysFrame(33, 0x01));

    // The report switch sends on and off.
    toggleAccessibly(control<QCheckBox>(win, QStringLiteral("Check1")));
    ASSERT_EQ(port->writes.size(), 3);
    EXPECT_EQ(port->writes[2].bytes, hex("2106137000014A35"));
    toggleAccessibly(control<QCheckBox>(win, QStringLiteral("Check1")));
    ASSERT_EQ(port->writes.size(), 4);
    EXPECT_EQ(port->writes[3].bytes, hex("2106137000008BF5"));

    // An answer sets the relay boxes and sends nothing; the next bit operation
    // sends what the answer set.
    w->statusWindows()->ApplyRelayState(0x5A);
    EXPECT_EQ(tickedRelayBoxes(), 4);
    EXPECT_EQ(port->writes.size(), 4);
    win->Command2_Click();
    ASSERT_EQ(port->writes.size(), 5);
    EXPECT_EQ(port->writes[4].bytes, frames::WriteRelaysFrame(33, 0x5A));
}

TEST_F(StatusWindow, LampsAreNamedWithTheirSignalAndState)
{
    auto name = [](QWidget *wgt) { return QAccessible::queryAccessibleInterface(wgt)->text(QAccessible::Name); };
    EXPECT_EQ(name(win->darkLamp(3)), QStringLiteral("Y03 关"));
    EXPECT_EQ(name(win->darkLamp(12)), QStringLiteral("X02 关"));
    w->statusWindows()->ApplyRelayState(0x08);
    w->statusWindows()->ApplyInputState(0x04);
    EXPECT_EQ(name(win->litLamp(3)), QStringLiteral("Y03 开"));
    EXPECT_EQ(name(win->litLamp(12)), QStringLiteral("X02 开"));
    EXPECT_EQ(name(win->darkLamp(2)), QStringLiteral("Y02 关"));
}
