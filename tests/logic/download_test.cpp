#include "relayfixture.h"
#include "controls.h"
#include "fakewaiter.h"

#include "app/widgets.h"
#include "protocol/frames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

class Download : public RelayFixture
{
protected:
    void SetUp() override
    {
        start();
        ASSERT_TRUE(port->portOpen());
        dialogs.messages.clear();
    }
    // Runs f on every event-loop turn of the download (every 5 ms) until it returns true.
    void during(std::function<bool()> f)
    {
        auto *t = new QTimer(w.get());
        t->setInterval(5);
        QObject::connect(t, &QTimer::timeout, t, [t, f] {
            if (f())
                t->stop();
        });
        t->start();
    }
    bool buttonsEnabled() const
    {
        return control<QPushButton>(w.get(), QStringLiteral("writefirst"))->isEnabled() && control<QPushButton>(w.get(), QStringLiteral("CmdReset"))->isEnabled() && control<QPushButton>(w.get(), QStringLiteral("writeadd"))->isEnabled();
    }
    QCheckBox *in(int s, int i) { return control<QCheckBox>(w.get(), ui::arrayName(QStringLiteral("incheck%1").arg(s), i)); }
    QCheckBox *out(int s, int k) { return control<QCheckBox>(w.get(), ui::arrayName(QStringLiteral("outcheck%1").arg(s), k)); }
};

} // namespace

TEST_F(Download, EmptyGridGivesEightFramesAtLeast250msApart)
{
    QElapsedTimer clock;
    clock.start();
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    EXPECT_GE(clock.elapsed(), 1850);

    ASSERT_EQ(port->writes.size(), 8);
    for (int s = 1; s <= 8; ++s) {
        SCOPED_TRACE(s);
        QByteArray expected = hex("2110007700030500000000");
        expected[7] = char(s);
        expected.insert(8, '\0');
        ASSERT_EQ(expected.size(), 12);
        EXPECT_EQ(port->writes[s - 1].bytes, frames::closeFrame(expected));
        if (s > 1) {
            EXPECT_GE(port->writes[s - 1].ms - port->writes[s - 2].ms, 250);
        }
    }
    EXPECT_EQ(port->writes[7].bytes, hex("211000770003050800000000DDD8"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(buttonsEnabled());
}

TEST_F(Download, StepsCarryTheirMasksAndAddressZeroIsAnAddressLikeAnyOther)
{
    in(1, 0)->click();
    out(1, 0)->click();
    in(2, 0)->click();
    in(2, 1)->click();
    in(2, 15)->click();
    out(2, 2)->click();
    out(2, 3)->click();
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    ASSERT_EQ(port->writes.size(), 8);
    EXPECT_EQ(port->writes[0].bytes, hex("21100077000305010100010001B5"));
    EXPECT_EQ(port->writes[1].bytes, hex("211000770003050203800C004175"));

    port->writes.clear();
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText("0");
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    ASSERT_EQ(port->writes.size(), 8);
    for (const auto &wr : port->writes) {
        EXPECT_EQ(wr.bytes.size(), 14);
        EXPECT_EQ(wr.bytes[0], '\0');
        EXPECT_TRUE(frames::hasValidCrc(wr.bytes));
    }
    EXPECT_EQ(port->writes[1].bytes.mid(7, 5), hex("0203800C00"));
}

TEST_F(Download, ChangesDuringThePausesReachOnlyStepsNotYetSentAndTheAddressIsReadOnce)
{
    bool changed = false;
    during([&] {
        if (port->writes.size() != 2)
            return false;
        // In the pause after step 2: step 8 and the address box change,
        // and so does step 1, which already went out.
        out(8, 5)->click();
        in(8, 12)->click();
        in(1, 3)->click();
        control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText("7");
        changed = true;
        return true;
    });
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    ASSERT_TRUE(changed);
    ASSERT_EQ(port->writes.size(), 8);
    EXPECT_EQ(port->writes[0].bytes, frames::StepFrame(33, LogicStep{1, 0, 0, 0}));
    for (int s = 2; s <= 7; ++s)
        EXPECT_EQ(port->writes[s - 1].bytes, frames::StepFrame(33, LogicStep{uint8_t(s), 0, 0, 0}));
    EXPECT_EQ(port->writes[7].bytes, frames::StepFrame(33, LogicStep{8, 0, 0x10, 0x20}));
}

TEST_F(Download, TheThreeButtonsAreLockedWhileItRunsAndOnlyThose)
{
    int checks = 0;
    bool allLocked = true;
    bool othersLive = true;
    during([&] {
        if (port->writes.isEmpty())
            return false;
        allLocked = allLocked && !control<QPushButton>(w.get(), QStringLiteral("writefirst"))->isEnabled() && !control<QPushButton>(w.get(), QStringLiteral("CmdReset"))->isEnabled() && !control<QPushButton>(w.get(), QStringLiteral("writeadd"))->isEnabled();
        othersLive = othersLive && control<QPushButton>(w.get(), QStringLiteral("sdevice"))->isEnabled() && control<QPushButton>(w.get(), QStringLiteral("loadname"))->isEnabled() && in(5, 5)->isEnabled();
        ++checks;
        return port->writes.size() == 8;
    });
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    EXPECT_GT(checks, 0);
    EXPECT_TRUE(allLocked);
    EXPECT_TRUE(othersLive);
    EXPECT_TRUE(buttonsEnabled());
}

TEST_F(Download, EmptyAddressShowsItsMessageMovesFocusAndSendsNothing)
{
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText("");
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].title, "KestruneV1.0");
    EXPECT_EQ(dialogs.messages[0].text, "485原地址不能为空！请点击“搜索设备”按钮");
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Critical);
    EXPECT_EQ(w->focusWidget(), control<QPushButton>(w.get(), QStringLiteral("sdevice")));
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_TRUE(buttonsEnabled());
}

TEST_F(Download, AddressOutsideZeroTo255ShowsTheRangeMessageAndSendsNothing)
{
    for (const char *text : {"abc", "300", "-1", " "}) {
        SCOPED_TRACE(text);
        dialogs.messages.clear();
        control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(text);
        control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].title, "KestruneV1.0");
        EXPECT_EQ(dialogs.messages[0].text, "485地址范围为0-255！");
        EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Critical);
        EXPECT_TRUE(port->writes.isEmpty());
        EXPECT_TRUE(buttonsEnabled());
    }
}

TEST_F(Download, ClosedPortWarnsAndSendsNothing)
{
    port->setPortOpen(false);
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, "串口没有打开，请打开串口");
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_TRUE(buttonsEnabled());
}

TEST_F(Download, PortLostMidwayStopsAfterWholeFramesAndFreesTheButtons)
{
    during([&] {
        if (port->writes.size() != 3)
            return false;
        port->lose();
        return true;
    });
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    ASSERT_EQ(port->writes.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(port->writes[i].bytes, frames::StepFrame(33, LogicStep{uint8_t(i + 1), 0, 0, 0}));
    EXPECT_TRUE(buttonsEnabled());
    EXPECT_FALSE(port->portOpen());
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch"))->text(), "打开串口");
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Download, QuitDuringTheDownloadEndsItAtOnce)
{
    during([&] {
        if (port->writes.size() != 2)
            return false;
        w->CmdQuit_Click();
        return true;
    });
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    EXPECT_EQ(quitCalls, 1);
    EXPECT_EQ(port->writes.size(), 2);
    EXPECT_FALSE(port->portOpen());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Download, PickingAnotherPortWhileItWaitsStopsAfterWholeFramesAndFreesTheButtons)
{
    FakeWaiter waiter;
    w->session()->setWaiter(&waiter);
    auto pickCom2 = [&] {
        control<QComboBox>(w.get(), QStringLiteral("CboCom"))->setEditText(QStringLiteral("COM2"));
        w->portGroup()->CboCom_Click();
    };
    waiter.onWait = [&](int pause) {
        if (pause == 3) {
            // The buttons are locked while the download waits.
            EXPECT_FALSE(buttonsEnabled());
            pickCom2();
        }
        return true;
    };
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    // Three whole step frames on COM1, then only the greeting of COM2.
    ASSERT_EQ(port->writes.size(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(port->writes[i].bytes.mid(0, 2), hex("2110")) << i;
    EXPECT_EQ(port->writes[3].bytes, frames::PortGreetingFrame());
    EXPECT_EQ(port->commPort(), 2);
    EXPECT_TRUE(buttonsEnabled());
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // The status reads: a switch during the first wait sends no read at all.
    waiter.waits.clear();
    waiter.onWait = [&](int pause) {
        if (pause == 1) {
            control<QComboBox>(w.get(), QStringLiteral("CboCom"))->setEditText(QStringLiteral("COM3"));
            control<QPushButton>(w.get(), QStringLiteral("CmdSwitch"))->click(); // closes
        }
        return true;
    };
    control<QPushButton>(w.get(), QStringLiteral("Command1"))->click();
    EXPECT_EQ(port->writes.size(), 4);
    EXPECT_FALSE(port->portOpen());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    w->session()->setWaiter(nullptr);
}
