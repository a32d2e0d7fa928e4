#include "relayfixture.h"

#include "protocol/frames.h"
#include "status/devicestate.h"
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
        w->newadd->setFocus();
        ASSERT_EQ(w->focusWidget(), w->newadd);
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
    w->Combo1->setEditText(QString());
    QTest::mouseClick(w->sdevice, Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, hex("000600330001B9D4"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    for (QPushButton *b : {w->sdevice, w->CmdReset, w->writefirst, w->writeadd, w->Command2})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_EQ(w->Combo1->currentText(), ""); // not cleared, not set without an answer
}

TEST_F(BoardCommands, SearchDuringTheDownloadLeavesTheDownloadsButtonsDisabled)
{
    // The download disables these three while it waits between its frames.
    for (QPushButton *b : {w->writefirst, w->CmdReset, w->writeadd})
        b->setEnabled(false);
    w->sdevice_Click();
    EXPECT_EQ(port->writes.size(), 1);
    EXPECT_FALSE(w->writefirst->isEnabled());
    EXPECT_FALSE(w->CmdReset->isEnabled());
    EXPECT_FALSE(w->writeadd->isEnabled());
    EXPECT_TRUE(w->sdevice->isEnabled());
    EXPECT_TRUE(w->Command2->isEnabled());
}

TEST_F(BoardCommands, EmptyAddressStopsResetStatusAndDirectOutputWithFocusOnSearch)
{
    w->Combo1->setEditText(QString());
    for (QPushButton *b : {w->CmdReset, w->Command1, w->Command2}) {
        dialogs.messages.clear();
        focusElsewhere();
        QTest::mouseClick(b, Qt::LeftButton);
        SCOPED_TRACE(b->objectName().toStdString());
        expectOneMessage(kEmptyAddress, Dialogs::Critical);
        EXPECT_EQ(w->focusWidget(), w->sdevice);
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(w->statusWindow(), nullptr);
}

TEST_F(BoardCommands, ZeroIsTheBroadcastAddressAndOtherTextsGiveTheRangeMessage)
{
    w->Combo1->setEditText(QStringLiteral("0"));
    w->CmdReset_Click();
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, frames::ResetFrame(0));
    EXPECT_TRUE(dialogs.messages.isEmpty());

    w->Combo1->setEditText(QStringLiteral("33"));
    w->CmdReset_Click();
    EXPECT_EQ(port->writes.last().bytes, hex("2106006900019F76"));

    port->writes.clear();
    for (const char *text : {"abc", "300", "-1", "1.5", "0x21"}) {
        w->Combo1->setEditText(QString::fromLatin1(text));
        for (QPushButton *b : {w->CmdReset, w->Command1, w->Command2}) {
            dialogs.messages.clear();
            b->click();
            SCOPED_TRACE(std::string(text) + " " + b->objectName().toStdString());
            expectOneMessage(kRange, Dialogs::Critical);
        }
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(w->statusWindow(), nullptr);
}

TEST_F(BoardCommands, ClosedPortWarnsAndNoCommandIsHalfDone)
{
    w->ClosePort();
    dialogs.messages.clear();
    w->Combo1->setEditText(QStringLiteral("33"));
    w->newadd->setText(QStringLiteral("5"));
    for (QPushButton *b : {w->sdevice, w->CmdReset, w->Command1, w->Command2, w->writeadd}) {
        dialogs.messages.clear();
        b->click();
        SCOPED_TRACE(b->objectName().toStdString());
        expectOneMessage(kPortClosed, Dialogs::Warning);
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(w->statusWindow(), nullptr);        // device status did not open its window
    EXPECT_EQ(w->Combo1->currentText(), "33");   // set address did not change the address
    EXPECT_TRUE(w->sdevice->isEnabled());
}

TEST_F(BoardCommands, SetAddressBroadcastsAndTakesTheTextAsTyped)
{
    w->Combo1->setEditText(QString());
    w->newadd->setText(QStringLiteral("5"));
    QTest::mouseClick(w->writeadd, Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, hex("0006000000054818"));
    EXPECT_EQ(w->Combo1->currentText(), "5");

    w->newadd->setText(QStringLiteral("255"));
    w->writeadd_Click();
    EXPECT_EQ(port->writes.last().bytes, frames::SetAddressFrame(255));
    EXPECT_EQ(w->Combo1->currentText(), "255");
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(BoardCommands, SetAddressRefusesEmptyAndNonIntegerTexts)
{
    w->newadd->setText(QString());
    focusElsewhere();
    w->writeadd_Click();
    expectOneMessage(kNewEmpty, Dialogs::Critical);
    EXPECT_EQ(w->focusWidget(), w->sdevice);

    for (const char *text : {"-12", "1.5", "abc", "12a"}) {
        dialogs.messages.clear();
        w->newadd->setText(QString::fromLatin1(text));
        ASSERT_EQ(w->newadd->text(), QString::fromLatin1(text)); // the typing rules let these through
        w->writeadd_Click();
        SCOPED_TRACE(text);
        expectOneMessage(kRange, Dialogs::Critical);
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(w->Combo1->currentText(), "33");
}

TEST_F(BoardCommands, TypingAboveTwoFiftyFiveRestoresTheTextOfTheLastClick)
{
    QTest::mouseClick(w->newadd, Qt::LeftButton);
    EXPECT_EQ(w->newaddRemembered, "33");
    w->newadd->selectAll();
    QTest::keyClick(w->newadd, Qt::Key_Backspace);
    ASSERT_EQ(w->newadd->text(), "");
    QTest::keyClicks(w->newadd, QStringLiteral("30"));
    EXPECT_TRUE(dialogs.messages.isEmpty());
    QTest::keyClicks(w->newadd, QStringLiteral("0"));
    expectOneMessage(kRange, Dialogs::Critical);
    EXPECT_EQ(w->newadd->text(), "33");
    EXPECT_TRUE(port->writes.isEmpty());
}

TEST_F(BoardCommands, NeverClickedBoxFallsBackToEmptyAndTwoCharactersBelowTenLoseTheFirst)
{
    w->newadd->clear();
    QTest::keyClicks(w->newadd, QStringLiteral("0"));
    QTest::keyClicks(w->newadd, QStringLiteral("7"));
    EXPECT_EQ(w->newadd->text(), "7");
    EXPECT_EQ(w->newadd->cursorPosition(), 1);

    // Any first character goes when the value is below ten.
    w->newadd->setText(QStringLiteral("a5"));
    EXPECT_EQ(w->newadd->text(), "5");
    w->newadd->setText(QStringLiteral("-1"));
    EXPECT_EQ(w->newadd->text(), "1");
    w->newadd->setText(QStringLiteral("12"));
    EXPECT_EQ(w->newadd->text(), "12");

    // The box was never clicked: an entry above 255 empties it.
    w->newadd->setText(QStringLiteral("999"));
    expectOneMessage(kRange, Dialogs::Critical);
    EXPECT_EQ(w->newadd->text(), "");
}

TEST_F(BoardCommands, DeviceStatusShowsTheWindowThenReadsRelaysAndInputsApart)
{
    const qint64 t0 = port->elapsedMs();
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    devicestatus *win = w->statusWindow();
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
    w->Command1_Click();
    w->ApplyInputState(0x81);
    devicestatus *first = w->statusWindow();
    // A relay answer arrives during the second run's long wait.
    QTimer::singleShot(300, w.get(), [this] { w->ApplyRelayState(0x5A); });
    w->Command1_Click();
    EXPECT_EQ(w->statusWindow(), first);
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
            ASSERT_NE(w->statusWindow(), nullptr);
            w->statusWindow()->close();
        });
        w->Command1_Click();
        SCOPED_TRACE(closeAtMs);
        ASSERT_EQ(port->writes.size(), 2);
        EXPECT_EQ(port->writes[1].bytes, frames::ReadInputsFrame(33));
        EXPECT_EQ(w->statusWindow(), nullptr);
        EXPECT_EQ(w->currentDeviceState(), nullptr);
        // An answer after the window went creates a fresh state, kept for the next opening.
        w->ApplyRelayState(0x01);
        ASSERT_NE(w->currentDeviceState(), nullptr);
        EXPECT_TRUE(w->currentDeviceState()->lamp(0));
        QTest::qWait(20); // the closed window is deleted
    }
}

TEST_F(BoardCommands, QuittingDuringTheWaitSendsNothingMore)
{
    QTimer::singleShot(50, w.get(), [this] { w->CmdQuit_Click(); });
    w->Command1_Click();
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(quitCalls, 1);
}

TEST_F(BoardCommands, DirectOutputSendsTheOutputMaskOfEveryStep)
{
    EXPECT_EQ(w->Command2->text(), "直接继电器输出");
    EXPECT_EQ(w->Command2->geometry(), QRect(1224, 48, 105, 33));
    auto *first = w->findChild<QCheckBox *>(QStringLiteral("outcheck1(0)"));
    auto *last = w->findChild<QCheckBox *>(QStringLiteral("outcheck8(7)"));
    if (first && last) {
        first->setChecked(true);
        last->setChecked(true);
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        ASSERT_EQ(port->writes.size(), 1);
        EXPECT_EQ(port->writes[0].bytes, hex("21880801000000000000808876"));
    } else {
        // Without the step grid every step drives nothing.
        QTest::mouseClick(w->Command2, Qt::LeftButton);
        ASSERT_EQ(port->writes.size(), 1);
        EXPECT_EQ(port->writes[0].bytes, frames::DirectOutputFrame(33, {}));
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}
