// The status line against the virtual board playing its faults.
#include "boardprocess.h"
#include "controls.h"
#include "realport.h"
#include "scripteddialogs.h"

#include "app/relay.h"
#include "board/boardsession.h"
#include "diag/answercheck.h"
#include "diag/diagnosticspanel.h"
#include "monitor/busscandialog.h"
#include "protocol/rtuclient.h"
#include "port/portreconnect.h"
#include "port/portpanel.h"
#include "protocol/frames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class DiagBoard : public ::testing::Test
{
protected:
    // The tool on COM1, the board behind it with these arguments.
    void start(const QStringList &boardArgs)
    {
        board = std::make_unique<BoardProcess>(dir.filePath(QStringLiteral("ports/COM1")), boardArgs);
        ASSERT_TRUE(board->start()) << board->error().toStdString();
        w = startToolOnCom1(dir.path(), &dialogs);
        ASSERT_TRUE(w && w->MSComm->portOpen());
    }
    void TearDown() override
    {
        w.reset();
        if (board)
            board->quit();
    }
    QString line() { return control<QLineEdit>(w.get(), QStringLiteral("TxtBusCheck"))->text(); }
    AnswerCheck *check() { return w->diagnostics()->check(); }
    // Opens the scan from the monitor, runs it and gives the list of boards found.
    QListWidget *scan(int to, bool sweep)
    {
        w->diagnostics()->CmdBusMonitor_Click();
        QTest::mouseClick(control<QPushButton>(w->diagnostics()->monitor(), QStringLiteral("CmdBusScan")), Qt::LeftButton);
        QWidget *dlg = w->diagnostics()->scanDialog();
        check()->client()->setTimeoutMs(150);
        control<QSpinBox>(dlg, QStringLiteral("TxtScanTo"))->setValue(to);
        control<QCheckBox>(dlg, QStringLiteral("ChkBaudSweep"))->setChecked(sweep);
        QPushButton *start = control<QPushButton>(dlg, QStringLiteral("CmdScanStart"));
        QTest::mouseClick(start, Qt::LeftButton);
        EXPECT_FALSE(start->isEnabled());
        EXPECT_TRUE(QTest::qWaitFor([start] { return start->isEnabled(); }, 60000));
        return control<QListWidget>(dlg, QStringLiteral("LstScanFound"));
    }
    static QStringList texts(QListWidget *list)
    {
        QStringList t;
        for (int i = 0; i < list->count(); ++i)
            t << list->item(i)->text();
        return t;
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<BoardProcess> board;
    std::unique_ptr<relay> w;
};

} // namespace

TEST_F(DiagBoard, ASilentBoardAWrongAddressAndCorruptAnswersAreEachNamed)
{
    start({QStringLiteral("--address"), QStringLiteral("5")});
    w->session()->send(frames::ReadRelaysFrame(5));
    QTRY_COMPARE_WITH_TIMEOUT(check()->answered(), 1, 5000);
    w->session()->send(frames::ReadRelaysFrame(33));
    QTRY_VERIFY_WITH_TIMEOUT(line().contains(QStringLiteral("地址33无应答（读继电器）")), 5000);

    ASSERT_EQ(board->command(QStringLiteral("corrupt on")), QStringLiteral("ok"));
    for (int i = 1; i <= 3; ++i) {
        w->session()->send(frames::ReadRelaysFrame(5));
        QTRY_COMPARE_WITH_TIMEOUT(check()->crcErrors(), i, 5000);
    }
    EXPECT_TRUE(line().contains(QStringLiteral("校验错误3次：请检查波特率和接线"))) << line().toStdString();
}

TEST_F(DiagBoard, TwoBoardsOnOneAddressGiveGarbageNeverAnAnswer)
{
    start({QStringLiteral("--twin")});
    w->session()->send(frames::ReadRelaysFrame(33));
    QTRY_VERIFY_WITH_TIMEOUT(check()->crcErrors() + check()->noAnswer() == 1, 5000);
    EXPECT_EQ(check()->answered(), 0);
}

TEST_F(DiagBoard, ABoardOnAnotherBaudRateStaysSilentUntilTheLineMatches)
{
    start({QStringLiteral("--line"), QStringLiteral("19200,N")});
    w->session()->send(frames::ReadRelaysFrame(33));
    QTRY_COMPARE_WITH_TIMEOUT(check()->noAnswer(), 1, 5000);
    w->MSComm->setPortOpen(false);
    w->MSComm->setSettings(QStringLiteral("19200,N,8,1"));
    ASSERT_TRUE(w->MSComm->setPortOpen(true));
    w->session()->send(frames::ReadRelaysFrame(33));
    QTRY_COMPARE_WITH_TIMEOUT(check()->answered(), 1, 5000);
}

TEST_F(DiagBoard, TheScanFindsEveryBoardOfTheLineAndNothingElse)
{
    start({QStringLiteral("--address"), QStringLiteral("3,7,20")});
    QListWidget *found = scan(25, false);
    EXPECT_EQ(texts(found), QStringList({QStringLiteral("地址3"), QStringLiteral("地址7"), QStringLiteral("地址20")}));
    emit found->itemDoubleClicked(found->item(1));
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), QStringLiteral("7"));
}

TEST_F(DiagBoard, TheBaudSweepFindsABoardAt19200AndPutsThePortBack)
{
    start({QStringLiteral("--line"), QStringLiteral("19200,N")});
    QListWidget *found = scan(1, true);
    EXPECT_TRUE(texts(found).contains(QStringLiteral("地址33（19200波特）"))) << texts(found).join(' ').toStdString();
    EXPECT_EQ(w->MSComm->settings(), QStringLiteral("9600,N,8,1"));
    EXPECT_TRUE(w->MSComm->portOpen());
    const int row = int(texts(found).indexOf(QStringLiteral("地址33（19200波特）")));
    ASSERT_GE(row, 0);
    emit found->itemDoubleClicked(found->item(row));
    EXPECT_EQ(w->MSComm->settings(), QStringLiteral("19200,N,8,1"));
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), QStringLiteral("33"));
}

TEST_F(DiagBoard, ALostPortIsOpenedAgainWhenTheBoardComesBackButNeverAfterTheSwitchClosedIt)
{
    start({});
    const QString settings = w->MSComm->settings();
    ASSERT_EQ(board->command(QStringLiteral("vanish")), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(!w->MSComm->portOpen(), 5000);
    EXPECT_TRUE(line().contains(QStringLiteral("串口已断开"))) << line().toStdString();
    ASSERT_EQ(board->command(QStringLiteral("back")), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(w->MSComm->portOpen(), 5000);
    EXPECT_EQ(w->MSComm->settings(), settings);
    EXPECT_TRUE(line().contains(QStringLiteral("串口已重新连接"))) << line().toStdString();
    w->session()->send(frames::ReadRelaysFrame(33));
    QTRY_COMPARE_WITH_TIMEOUT(check()->answered(), 1, 5000);

    // Closed with the switch: the board going and coming changes nothing.
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton);
    ASSERT_FALSE(w->MSComm->portOpen());
    ASSERT_EQ(board->command(QStringLiteral("vanish")), QStringLiteral("ok"));
    ASSERT_EQ(board->command(QStringLiteral("back")), QStringLiteral("ok"));
    PortReconnect *reconnect = w->portGroup()->findChild<PortReconnect *>();
    ASSERT_NE(reconnect, nullptr);
    EXPECT_FALSE(reconnect->watching());
    EXPECT_FALSE(w->MSComm->portOpen());
}
