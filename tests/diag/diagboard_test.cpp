// The status line against the virtual board playing its faults.
#include "boardprocess.h"
#include "controls.h"
#include "realport.h"
#include "scripteddialogs.h"

#include "app/relay.h"
#include "board/boardsession.h"
#include "diag/answercheck.h"
#include "diag/diagnosticspanel.h"
#include "protocol/frames.h"

#include <QLineEdit>
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
