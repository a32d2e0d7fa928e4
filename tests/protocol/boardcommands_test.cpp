#include "relayfixture.h"
#include "controls.h"

#include "protocol/frames.h"
#include "board/devicestate.h"
#include "status/devicestatus.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
const QString kEmptyAddress = QStringLiteral("485原地址不能为空！请点击“搜索设备”按钮");
const QString kRange = QStringLiteral("485地址范围为0-255！");
const QString kPortClosed = QStringLiteral("串口没有打开，请打开串口");
const QString kNewEmpty = QStringLiteral("485地址不能为空！");
QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text)); }
} // namespace

class BoardCommands : public RelayFixture
{
protected:
    void SetUp() override
    {
        start();
        dialogs.messages.clear(); // the start-up warning of the missing settings file
        ASSERT_TRUE(port->portOpen());
        w->show();
        QApplication::setActiveWindow(w.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void focusElsewhere()
    {
        control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setFocus();
        ASSERT_EQ(w->focusWidget(), control<QLineEdit>(w.get(), QStringLiteral("newadd")));
    }
    void expectOneMessage(const QString &text, Dialogs::Icon icon)
    {
        ASSERT_EQ(dialogs.messages.size(), 1) << dialogs.texts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(dialogs.messages[0].text, text);
        EXPECT_EQ(dialogs.messages[0].title, "KestruneV1.0");
        EXPECT_EQ(dialogs.messages[0].icon, icon);
    }
};

TEST_F(BoardCommands, SearchBroadcastsWithEmptyAddressAndGivesTheButtonsBack)
{
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString());
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("sdevice")), Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, hex("000600330001B9D4"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    for (QPushButton *b : {control<QPushButton>(w.get(), QStringLiteral("sdevice")), control<QPushButton>(w.get(), QStringLiteral("CmdReset")), control<QPushButton>(w.get(), QStringLiteral("writefirst")), control<QPushButton>(w.get(), QStringLiteral("writeadd")), control<QPushButton>(w.get(), QStringLiteral("Command2"))})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), ""); // not cleared, not set without an answer
}

TEST_F(BoardCommands, SearchDuringTheDownloadLeavesTheDownloadsButtonsDisabled)
{
    // The download disables these three while it waits between its frames.
    for (QPushButton *b : {control<QPushButton>(w.get(), QStringLiteral("writefirst")), control<QPushButton>(w.get(), QStringLiteral("CmdReset")), control<QPushButton>(w.get(), QStringLiteral("writeadd"))})
        b->setEnabled(false);
    w->boardCommands()->sdevice_Click();
    EXPECT_EQ(port->writes.size(), 1);
    EXPECT_FALSE(control<QPushButton>(w.get(), QStringLiteral("writefirst"))->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w.get(), QStringLiteral("CmdReset"))->isEnabled());
    EXPECT_FALSE(control<QPushButton>(w.get(), QStringLiteral("writeadd"))->isEnabled());
    EXPECT_TRUE(control<QPushButton>(w.get(), QStringLiteral("sdevice"))->isEnabled());
    EXPECT_TRUE(control<QPushButton>(w.get(), QStringLiteral("Command2"))->isEnabled());
}

TEST_F(BoardCommands, EmptyAddressStopsResetStatusAndDirectOutputWithFocusOnSearch)
{
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString());
    for (QPushButton *b : {control<QPushButton>(w.get(), QStringLiteral("CmdReset")), control<QPushButton>(w.get(), QStringLiteral("Command1")), control<QPushButton>(w.get(), QStringLiteral("Command2"))}) {
        dialogs.messages.clear();
        focusElsewhere();
        QTest::mouseClick(b, Qt::LeftButton);
        SCOPED_TRACE(b->objectName().toStdString());
        expectOneMessage(kEmptyAddress, Dialogs::Critical);
        EXPECT_EQ(w->focusWidget(), control<QPushButton>(w.get(), QStringLiteral("sdevice")));
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(w->statusWindows()->statusWindow(), nullptr);
}

TEST_F(BoardCommands, ZeroIsTheBroadcastAddressAndOtherTextsGiveTheRangeMessage)
{
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QStringLiteral("0"));
    w->boardCommands()->CmdReset_Click();
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, frames::ResetFrame(0));
    EXPECT_TRUE(dialogs.messages.isEmpty());

    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QStringLiteral("33"));
    w->boardCommands()->CmdReset_Click();
    EXPECT_EQ(port->writes.last().bytes, hex("2106006900019F76"));

    port->writes.clear();
    for (const char *text : {"abc", "300", "-1", "1.5", "0x21"}) {
        control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString::fromLatin1(text));
        for (QPushButton *b : {control<QPushButton>(w.get(), QStringLiteral("CmdReset")), control<QPushButton>(w.get(), QStringLiteral("Command1")), control<QPushButton>(w.get(), QStringLiteral("Command2"))}) {
            dialogs.messages.clear();
            b->click();
            SCOPED_TRACE(std::string(text) + " " + b->objectName().toStdString());
            expectOneMessage(kRange, Dialogs::Critical);
        }
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(w->statusWindows()->statusWindow(), nullptr);
}

TEST_F(BoardCommands, ClosedPortWarnsAndNoCommandIsHalfDone)
{
    w->portGroup()->ClosePort();
    dialogs.messages.clear();
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QStringLiteral("33"));
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QStringLiteral("5"));
    for (QPushButton *b : {control<QPushButton>(w.get(), QStringLiteral("sdevice")), control<QPushButton>(w.get(), QStringLiteral("CmdReset")), control<QPushButton>(w.get(), QStringLiteral("Command1")), control<QPushButton>(w.get(), QStringLiteral("Command2")), control<QPushButton>(w.get(), QStringLiteral("writeadd"))}) {
        dialogs.messages.clear();
        b->click();
        SCOPED_TRACE(b->objectName().toStdString());
        expectOneMessage(kPortClosed, Dialogs::Warning);
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(w->statusWindows()->statusWindow(), nullptr);        // device status did not open its window
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");   // set address did not change the address
    EXPECT_TRUE(control<QPushButton>(w.get(), QStringLiteral("sdevice"))->isEnabled());
}

TEST_F(BoardCommands, SetAddressBroadcastsAndTakesTheTextAsTyped)
{
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString());
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QStringLiteral("5"));
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("writeadd")), Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, hex("0006000000054818"));
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "5");

    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QStringLiteral("255"));
    w->boardCommands()->writeadd_Click();
    EXPECT_EQ(port->writes.last().bytes, frames::SetAddressFrame(255));
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "255");
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(BoardCommands, SetAddressRefusesEmptyAndNonIntegerTexts)
{
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QString());
    focusElsewhere();
    w->boardCommands()->writeadd_Click();
    expectOneMessage(kNewEmpty, Dialogs::Critical);
    EXPECT_EQ(w->focusWidget(), control<QPushButton>(w.get(), QStringLiteral("sdevice")));

    for (const char *text : {"-12", "1.5", "abc", "12a"}) {
        dialogs.messages.clear();
        control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QString::fromLatin1(text));
        ASSERT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->text(), QString::fromLatin1(text)); // the typing rules let these through
        w->boardCommands()->writeadd_Click();
        SCOPED_TRACE(text);
        expectOneMessage(kRange, Dialogs::Critical);
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");
}

TEST_F(BoardCommands, TypingAboveTwoFiftyFiveRestoresTheTextOfTheLastClick)
{
    QTest::mouseClick(control<QLineEdit>(w.get(), QStringLiteral("newadd")), Qt::LeftButton);
    EXPECT_EQ(w->boardCommands()->newaddRemembered, "33");
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->selectAll();
    QTest::keyClick(control<QLineEdit>(w.get(), QStringLiteral("newadd")), Qt::Key_Backspace);
    ASSERT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->text(), "");
    QTest::keyClicks(control<QLineEdit>(w.get(), QStringLiteral("newadd")), QStringLiteral("30"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    QTest::keyClicks(control<QLineEdit>(w.get(), QStringLiteral("newadd")), QStringLiteral("0"));
    expectOneMessage(kRange, Dialogs::Critical);
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->text(), "33");
    EXPECT_TRUE(port->writes.isEmpty());
}

TEST_F(BoardCommands, NeverClickedBoxFallsBackToEmptyAndTwoCharactersBelowTenLoseTheFirst)
{
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->clear();
    QTest::keyClicks(control<QLineEdit>(w.get(), QStringLiteral("newadd")), QStringLiteral("0"));
    QTest::keyClicks(control<QLineEdit>(w.get(), QStringLiteral("newadd")), QStringLiteral("7"));
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->text(), "7");
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->cursorPosition(), 1);

    // Any first character goes when the value is below ten.
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QStringLiteral("a5"));
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->text(), "5");
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QStringLiteral("-1"));
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->text(), "1");
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QStringLiteral("12"));
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->text(), "12");

    // The box was never clicked: an entry above 255 empties it.
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QStringLiteral("999"));
    expectOneMessage(kRange, Dialogs::Critical);
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("newadd"))->text(), "");
}

TEST_F(BoardCommands, DeviceStatusShowsTheWindowThenReadsRelaysAndInputsApart)
{
    const qint64 t0 = port->elapsedMs();
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("Command1")), Qt::LeftButton);
    devicestatus *win = w->statusWindows()->statusWindow();
    ASSERT_NE(win, nullptr);
    EXPECT_TRUE(win->isVisible());
    EXPECT_EQ(win->windowTitle(), "当前所有设备状态");
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[0].bytes, hex("2101000000083AAC"));
    EXPECT_EQ(port->writes[1].bytes, hex("2102000000087EAC"));
    EXPECT_GE(port->writes[0].ms - t0, 100);
    EXPECT_GE(port->writes[1].ms - port->writes[0].ms, 500);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(BoardCommands, AnswerDuringTheWaitIsShownAndAnOpenWindowKeepsItsState)
{
    w->boardCommands()->Command1_Click();
    w->statusWindows()->ApplyInputState(0x81);
    devicestatus *first = w->statusWindows()->statusWindow();
    // A relay answer arrives during the second run's long wait.
    QTimer::singleShot(300, w.get(), [this] { w->statusWindows()->ApplyRelayState(0x5A); });
    w->boardCommands()->Command1_Click();
    EXPECT_EQ(w->statusWindows()->statusWindow(), first);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->litLamp(10)->isVisibleTo(first));
    EXPECT_TRUE(first->litLamp(17)->isVisibleTo(first));
    EXPECT_TRUE(first->litLamp(1)->isVisibleTo(first));
    EXPECT_TRUE(first->relayCheck(1)->isChecked());
    EXPECT_FALSE(first->relayCheck(0)->isChecked());
    EXPECT_EQ(port->writes.size(), 4);
}

TEST_F(BoardCommands, ClosingTheStatusWindowDuringEitherWaitDoesNotStopTheReads)
{
    for (int closeAtMs : {50, 350}) {
        port->writes.clear();
        QTimer::singleShot(closeAtMs, w.get(), [this] {
            ASSERT_NE(w->statusWindows()->statusWindow(), nullptr);
            w->statusWindows()->statusWindow()->close();
        });
        w->boardCommands()->Command1_Click();
        SCOPED_TRACE(closeAtMs);
        ASSERT_EQ(port->writes.size(), 2);
        EXPECT_EQ(port->writes[1].bytes, frames::ReadInputsFrame(33));
        EXPECT_EQ(w->statusWindows()->statusWindow(), nullptr);
        EXPECT_EQ(w->statusWindows()->currentDeviceState(), nullptr);
        // An answer after the window went creates a fresh state, kept for the next opening.
        w->statusWindows()->ApplyRelayState(0x01);
        ASSERT_NE(w->statusWindows()->currentDeviceState(), nullptr);
        EXPECT_TRUE(w->statusWindows()->currentDeviceState()->lamp(0));
        QTest::qWait(20); // the closed window is deleted
    }
}

TEST_F(BoardCommands, QuittingDuringTheWaitSendsNothingMore)
{
    QTimer::singleShot(50, w.get(), [this] { w->CmdQuit_Click(); });
    w->boardCommands()->Command1_Click();
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(quitCalls, 1);
}

TEST_F(BoardCommands, DirectOutputSendsTheOutputMaskOfEveryStep)
{
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("Command2"))->text(), "直接继电器输出");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("Command2"))->geometry(), QRect(1224, 48, 105, 33));
    auto *first = control<QCheckBox>(w.get(), QStringLiteral("outcheck1(0)"));
    auto *last = control<QCheckBox>(w.get(), QStringLiteral("outcheck8(7)"));
    if (first && last) {
        first->setChecked(true);
        last->setChecked(true);
        QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("Command2")), Qt::LeftButton);
        ASSERT_EQ(port->writes.size(), 1);
        EXPECT_EQ(port->writes[0].bytes, hex("21880801000000000000808876"));
    } else {
        // Without the step grid every step drives nothing.
        QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("Command2")), Qt::LeftButton);
        ASSERT_EQ(port->writes.size(), 1);
        EXPECT_EQ(port->writes[0].bytes, frames::DirectOutputFrame(33, {}));
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}
