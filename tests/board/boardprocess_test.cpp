#include "boardmodel.h"
#include "boardprocess.h"
#include "protocol/frames.h"
#include "qtprint.h"
#include "serial/portresolver.h"
#include "realport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// The running board on ports/COM1 of a temporary settings folder, and the
// tool's own serial port opened on it.
class BoardOnPort : public ::testing::Test
{
protected:
    void startBoard(const QStringList &args = {})
    {
        ASSERT_TRUE(dir.isValid());
        link = dir.filePath(QStringLiteral("ports/COM1"));
        board = std::make_unique<BoardProcess>(link, args);
        ASSERT_TRUE(board->start()) << board->error().toStdString();
        ASSERT_TRUE(QFileInfo(link).isSymLink());
        ASSERT_TRUE(line.open(dir.path())) << line.error().toStdString();
    }

    QTemporaryDir dir;
    QString link;
    std::unique_ptr<BoardProcess> board;
    ReceivingPort line;
};

} // namespace

TEST_F(BoardOnPort, AnswersTheToolsFramesOverThePseudoTerminal)
{
    ASSERT_NO_FATAL_FAILURE(startBoard());
    EXPECT_EQ(line.ask(frames::SearchFrame(), 6), hex("0034002181F2"));
    EXPECT_EQ(line.ask(frames::WriteRelaysFrame(33, 0x5A), 8), frames::closeFrame(hex("210F00000008")));
    EXPECT_EQ(line.ask(frames::ReadRelaysFrame(33), 6), hex("2101015ADA73"));
    ASSERT_EQ(board->command("inputs 0x81"), "ok");
    EXPECT_EQ(line.ask(frames::ReadInputsFrame(33), 6), hex("210201816A28"));

    // The greeting and a download of two steps, as the tool sends them.
    line.port->output(frames::PortGreetingFrame());
    EXPECT_EQ(line.ask(frames::StepFrame(33, LogicStep{1, 0x01, 0x00, 0x01}), 8), frames::closeFrame(hex("211000770003")));
    EXPECT_EQ(line.ask(frames::StepFrame(33, LogicStep{2, 0x03, 0x80, 0x0C}), 8), frames::closeFrame(hex("211000770003")));

    // A wrong CRC and another address get nothing and change nothing.
    QByteArray bad = frames::WriteRelaysFrame(33, 0xFF);
    bad[9] = char(bad[9] ^ 0x01);
    line.port->output(bad);
    line.port->output(frames::WriteRelaysFrame(34, 0xFF));
    // Step 1 (X00 -> Y00) drives Y00 now that X00 is on.
    EXPECT_EQ(line.ask(frames::ReadRelaysFrame(33), 6), board::BoardModel::stateAnswer(33, 0x01, 0x5B));

    const BoardProcess::State s = board->state();
    ASSERT_TRUE(s.valid);
    EXPECT_EQ(s.address, 33);
    EXPECT_EQ(s.written, 0x5A);
    EXPECT_EQ(s.inputs, 0x81);
    EXPECT_EQ(s.relays, 0x5B);
    EXPECT_EQ(s.steps[0].andMask, 0x01);
    EXPECT_EQ(s.steps[1].orMask, 0x80);
    EXPECT_EQ(s.steps[1].outMask, 0x0C);
    EXPECT_TRUE(s.lineOpen);

    // New address by broadcast: no answer, then the board answers there.
    EXPECT_TRUE(line.ask(frames::SetAddressFrame(5), 1, 300).isEmpty());
    EXPECT_EQ(line.ask(frames::ReadRelaysFrame(5), 6).left(3), hex("050101"));

    ASSERT_TRUE(board->quit());
    EXPECT_FALSE(QFileInfo(link).isSymLink()); // the link goes with the board
}

TEST_F(BoardOnPort, ReportsInputChangesByItselfWhileReportingIsOn)
{
    ASSERT_NO_FATAL_FAILURE(startBoard({QStringLiteral("--address"), QStringLiteral("7")}));
    ASSERT_EQ(board->command("input 2 on"), "ok");
    QTest::qWait(200);
    EXPECT_TRUE(line.received.isEmpty());
    EXPECT_EQ(line.ask(frames::InputReportFrame(7, true), 8), frames::InputReportFrame(7, true));
    line.received.clear();
    ASSERT_EQ(board->command("input 0 on"), "ok");
    EXPECT_TRUE(QTest::qWaitFor([&] { return line.received.size() >= 6; }, 3000));
    EXPECT_EQ(line.received, board::BoardModel::stateAnswer(7, 0x02, 0x05));
}

TEST_F(BoardOnPort, SilentCorruptNoisyAndLateBoards)
{
    ASSERT_NO_FATAL_FAILURE(startBoard({QStringLiteral("--silent")}));
    EXPECT_TRUE(line.ask(frames::ReadRelaysFrame(33), 1, 400).isEmpty());
    // Silent but still listening: the write was carried out.
    line.port->output(frames::WriteRelaysFrame(33, 0x0F));
    (void)QTest::qWaitFor([&] { return board->state().written == 0x0F; }, 3000);
    EXPECT_EQ(board->state().written, 0x0F);

    ASSERT_EQ(board->command("silent off"), "ok");
    ASSERT_EQ(board->command("corrupt on"), "ok");
    const QByteArray c = line.ask(frames::ReadRelaysFrame(33), 6);
    ASSERT_EQ(c.size(), 6);
    EXPECT_EQ(c.left(4), hex("2101010F"));
    EXPECT_FALSE(frames::hasValidCrc(c));

    ASSERT_EQ(board->command("corrupt off"), "ok");
    ASSERT_EQ(board->command("noise on"), "ok");
    const QByteArray n = line.ask(frames::ReadRelaysFrame(33), 9);
    EXPECT_EQ(n.size(), 9);
    EXPECT_TRUE(n.endsWith(board::BoardModel::stateAnswer(33, 0x01, 0x0F)));

    ASSERT_EQ(board->command("noise off"), "ok");
    ASSERT_EQ(board->command("delay 300"), "ok");
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(line.ask(frames::ReadRelaysFrame(33), 6), board::BoardModel::stateAnswer(33, 0x01, 0x0F));
    EXPECT_GE(t.elapsed(), 300);
}

TEST_F(BoardOnPort, VanishingClosesTheLineUnderThePort)
{
    ASSERT_NO_FATAL_FAILURE(startBoard());
    QSignalSpy lost(line.port.get(), &SerialPort::portLost);
    ASSERT_EQ(board->command("vanish"), "ok");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !lost.isEmpty(); }, 3000));
    EXPECT_FALSE(line.port->portOpen());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    const BoardProcess::State s = board->state();
    EXPECT_TRUE(s.valid);
    EXPECT_FALSE(s.lineOpen);
}
