// The whole tool against the virtual board: the main window with its real
// serial port on ports/COM1, the board process on the other side of the
// pseudo-terminal, and every check made against the board's own state.
#include "boardprocess.h"
#include "controls.h"
#include "qtprint.h"
#include "realport.h"
#include "scripteddialogs.h"

#include "app/relay.h"
#include "serial/portresolver.h"
#include "serial/portsettings.h"
#include "serial/serialport.h"
#include "board/devicestate.h"
#include "status/devicestatus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class WholeTool : public ::testing::Test
{
protected:
    void startAll(const QStringList &boardArgs = {})
    {
        ASSERT_TRUE(dir.isValid());
        board = std::make_unique<BoardProcess>(dir.filePath(QStringLiteral("ports/COM1")), boardArgs);
        ASSERT_TRUE(board->start()) << board->error().toStdString();
        w = startToolOnCom1(dir.path(), &dialogs);
        ASSERT_TRUE(w && w->MSComm->portOpen()) << dialogs.texts().join(QLatin1Char('|')).toStdString();
        ASSERT_TRUE(dialogs.messages.isEmpty());
    }
    void TearDown() override
    {
        w.reset();
        board.reset();
    }

    // What the status window shows, as the two bytes of lamps (relays, inputs).
    // Both the kept state and the pictures in the open window must agree.
    bool lampsShow(uint8_t relays, uint8_t inputs) const
    {
        const DeviceState *s = w->statusWindows()->currentDeviceState();
        devicestatus *win = w->statusWindows()->statusWindow();
        if (!s || !win)
            return false;
        for (int k = 0; k < 8; ++k) {
            const bool r = (relays >> k) & 1, i = (inputs >> k) & 1;
            if (s->lamp(DeviceState::kRelayLampBase + k) != r || s->lamp(DeviceState::kInputLampBase + k) != i)
                return false;
            if (win->litLamp(DeviceState::kRelayLampBase + k)->isVisible() != r
                || win->litLamp(DeviceState::kInputLampBase + k)->isVisible() != i)
                return false;
        }
        return true;
    }
    bool lampsEqualTheBoard()
    {
        const BoardProcess::State s = board->state();
        return s.valid && lampsShow(s.relays, s.inputs);
    }
    template <typename F>
    bool eventually(F done, int ms = 4000)
    {
        return QTest::qWaitFor(done, ms);
    }
    // Waits until the tool received at least bytes in all and the reply
    // parser ran twice after that: whatever those bytes could change has
    // changed by then.
    bool receivedAndParsed(qint64 bytes)
    {
        if (!eventually([&] { return w->counters()->RxTotal() >= bytes; }))
            return false;
        QSignalSpy ticks(control<QTimer>(w.get(), QStringLiteral("Timer2")), &QTimer::timeout);
        return eventually([&] { return ticks.size() >= 2; });
    }
    bool commandButtonsEnabled() const
    {
        return control<QPushButton>(w.get(), QStringLiteral("writefirst"))->isEnabled() && control<QPushButton>(w.get(), QStringLiteral("CmdReset"))->isEnabled() && control<QPushButton>(w.get(), QStringLiteral("writeadd"))->isEnabled()
               && control<QPushButton>(w.get(), QStringLiteral("sdevice"))->isEnabled() && control<QPushButton>(w.get(), QStringLiteral("Command2"))->isEnabled();
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<BoardProcess> board;
    std::unique_ptr<relay> w;
};

} // namespace

TEST_F(WholeTool, TheTypicalRunAgainstTheVirtualBoard)
{
    ASSERT_NO_FATAL_FAILURE(startAll({QStringLiteral("--address"), QStringLiteral("7")}));

    // Search: the board's address lands in the address box.
    ASSERT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");
    control<QPushButton>(w.get(), QStringLiteral("sdevice"))->click();
    EXPECT_TRUE(eventually([&] { return control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText() == QLatin1String("7"); }));

    // Write the program: step 1 X00 AND X01 -> Y01, step 3 X03 OR X04 -> Y05 and Y06.
    control<QCheckBox>(w.get(), QStringLiteral("incheck%1").arg((0) + 1), 0)->click();
    control<QCheckBox>(w.get(), QStringLiteral("incheck%1").arg((0) + 1), 1)->click();
    control<QCheckBox>(w.get(), QStringLiteral("outcheck%1").arg((0) + 1), 1)->click();
    control<QCheckBox>(w.get(), QStringLiteral("incheck%1").arg((2) + 1), 8 + 3)->click();
    control<QCheckBox>(w.get(), QStringLiteral("incheck%1").arg((2) + 1), 8 + 4)->click();
    control<QCheckBox>(w.get(), QStringLiteral("outcheck%1").arg((2) + 1), 5)->click();
    control<QCheckBox>(w.get(), QStringLiteral("outcheck%1").arg((2) + 1), 6)->click();
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click(); // returns when all eight steps are out
    EXPECT_TRUE(commandButtonsEnabled());
    ASSERT_TRUE(eventually([&] { return board->state().frames >= 9; }));
    const BoardProcess::State programmed = board->state();
    for (int s = 1; s <= 8; ++s) {
        SCOPED_TRACE(s);
        const LogicStep grid = w->stepGrid()->ReadLogicStep(s);
        EXPECT_EQ(programmed.steps[s - 1].andMask, grid.andMask);
        EXPECT_EQ(programmed.steps[s - 1].orMask, grid.orMask);
        EXPECT_EQ(programmed.steps[s - 1].outMask, grid.outMask);
    }
    EXPECT_EQ(programmed.steps[0].andMask, 0x03);
    EXPECT_EQ(programmed.steps[2].orMask, 0x18);
    EXPECT_EQ(programmed.steps[2].outMask, 0x60);

    // Device status: both reads go out and the lamps show the board, with
    // the program driving Y05 and Y06 from X04.
    ASSERT_EQ(board->command(QStringLiteral("inputs 0x11")), "ok");
    control<QPushButton>(w.get(), QStringLiteral("Command1"))->click();
    ASSERT_NE(w->statusWindows()->statusWindow(), nullptr);
    EXPECT_TRUE(eventually([&] { return lampsEqualTheBoard(); }));
    EXPECT_TRUE(lampsShow(0x60, 0x11));
    devicestatus *st = w->statusWindows()->statusWindow();

    // All on, all off: the board's written relays follow, a read shows it.
    control<QPushButton>(st, QStringLiteral("OPENALL"))->click();
    EXPECT_TRUE(eventually([&] { return board->state().written == 0xFF; }));
    control<QPushButton>(st, QStringLiteral("Command3"))->click();
    EXPECT_TRUE(eventually([&] { return lampsShow(0xFF, 0x11); }));
    control<QPushButton>(st, QStringLiteral("CLOSEALL"))->click();
    EXPECT_TRUE(eventually([&] { return board->state().written == 0x00; }));
    control<QPushButton>(st, QStringLiteral("Command3"))->click();
    EXPECT_TRUE(eventually([&] { return lampsShow(0x60, 0x11); }));

    // Bit operation: exactly the ticked boxes are written.
    for (int k = 0; k < 8; ++k)
        if (st->relayCheck(k)->isChecked() != bool((0x05 >> k) & 1))
            st->relayCheck(k)->click();
    control<QPushButton>(st, QStringLiteral("Command2"))->click();
    EXPECT_TRUE(eventually([&] { return board->state().written == 0x05; }));
    control<QPushButton>(st, QStringLiteral("Command3"))->click();
    EXPECT_TRUE(eventually([&] { return lampsShow(0x65, 0x11); }));

    // Input reporting: flipping an input on the board lights its lamp by itself.
    control<QCheckBox>(st, QStringLiteral("Check1"))->click();
    EXPECT_TRUE(eventually([&] { return board->state().report; }));
    ASSERT_EQ(board->command(QStringLiteral("input 6 on")), "ok");
    EXPECT_TRUE(eventually([&] { return lampsShow(0x65, 0x51); }));
    ASSERT_EQ(board->command(QStringLiteral("input 4 off")), "ok");
    EXPECT_TRUE(eventually([&] { return w->statusWindows()->currentDeviceState() && !w->statusWindows()->currentDeviceState()->lamp(14); }));
    control<QCheckBox>(st, QStringLiteral("Check1"))->click();
    EXPECT_TRUE(eventually([&] { return !board->state().report; }));

    // Change the address: the board takes it and answers there.
    control<QLineEdit>(w.get(), QStringLiteral("newadd"))->setText(QStringLiteral("12"));
    control<QPushButton>(w.get(), QStringLiteral("writeadd"))->click();
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "12");
    EXPECT_TRUE(eventually([&] { return board->state().address == 12; }));
    ASSERT_EQ(board->command(QStringLiteral("relays 0x81")), "ok");
    control<QPushButton>(st, QStringLiteral("Command3"))->click();
    control<QPushButton>(st, QStringLiteral("Command4"))->click();
    EXPECT_TRUE(eventually([&] { return lampsEqualTheBoard() && w->statusWindows()->currentDeviceState()->lamp(0); }));

    // Reset: the relays go off, address and program stay.
    control<QPushButton>(w.get(), QStringLiteral("CmdReset"))->click();
    EXPECT_TRUE(eventually([&] { return board->state().written == 0x00; }));
    const BoardProcess::State after = board->state();
    EXPECT_EQ(after.address, 12);
    EXPECT_EQ(after.steps[2].outMask, 0x60);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.texts().join(QLatin1Char('|')).toStdString();
}

TEST_F(WholeTool, ASilentBoardChangesNothingAndNothingHangs)
{
    ASSERT_NO_FATAL_FAILURE(startAll({QStringLiteral("--address"), QStringLiteral("7"), QStringLiteral("--silent")}));
    ASSERT_EQ(board->command(QStringLiteral("relays 0xFF")), "ok");
    QElapsedTimer t;
    t.start();
    control<QPushButton>(w.get(), QStringLiteral("sdevice"))->click();
    control<QPushButton>(w.get(), QStringLiteral("Command1"))->click();
    EXPECT_LT(t.elapsed(), 3000);
    // The search reached the board (the reads for address 33 are not its own),
    // and the board kept silent.
    ASSERT_TRUE(eventually([&] { return board->state().frames >= 1; }));
    ASSERT_TRUE(receivedAndParsed(0));
    EXPECT_EQ(w->counters()->RxTotal(), 0);
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");
    EXPECT_TRUE(lampsShow(0x00, 0x00));
    EXPECT_TRUE(commandButtonsEnabled());
    EXPECT_TRUE(w->MSComm->portOpen());
}

TEST_F(WholeTool, CorruptAnswersAreNeverAppliedAndNoiseLetsLaterAnswersThrough)
{
    ASSERT_NO_FATAL_FAILURE(startAll({QStringLiteral("--address"), QStringLiteral("33")}));
    ASSERT_EQ(board->command(QStringLiteral("relays 0x3C")), "ok");
    ASSERT_EQ(board->command(QStringLiteral("inputs 0x81")), "ok");
    ASSERT_EQ(board->command(QStringLiteral("address 9")), "ok");

    // Corrupted CRCs: neither the search answer nor the state answers land.
    ASSERT_EQ(board->command(QStringLiteral("corrupt on")), "ok");
    // The search answer (six bytes) arrives and is looked at, not applied;
    // the reads for address 33 are not for this board.
    control<QPushButton>(w.get(), QStringLiteral("sdevice"))->click();
    control<QPushButton>(w.get(), QStringLiteral("Command1"))->click();
    ASSERT_TRUE(receivedAndParsed(6));
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QStringLiteral("9"));
    devicestatus *st = w->statusWindows()->statusWindow();
    ASSERT_NE(st, nullptr);
    control<QPushButton>(st, QStringLiteral("Command3"))->click();
    control<QPushButton>(st, QStringLiteral("Command4"))->click();
    ASSERT_TRUE(receivedAndParsed(18));
    EXPECT_TRUE(lampsShow(0x00, 0x00));

    // Noise between the frames: the answers still come through.
    ASSERT_EQ(board->command(QStringLiteral("corrupt off")), "ok");
    ASSERT_EQ(board->command(QStringLiteral("noise on")), "ok");
    control<QPushButton>(w.get(), QStringLiteral("CmdClearReceive"))->click();
    control<QPushButton>(st, QStringLiteral("Command3"))->click();
    EXPECT_TRUE(eventually([&] { return lampsShow(0x3C, 0x00); }));
    control<QPushButton>(st, QStringLiteral("Command4"))->click();
    EXPECT_TRUE(eventually([&] { return lampsShow(0x3C, 0x81); }));
}

TEST_F(WholeTool, TheBoardVanishingMidDownloadLeavesTheButtonsFreeAndThePortClosed)
{
    ASSERT_NO_FATAL_FAILURE(startAll());
    bool vanished = false;
    QTimer::singleShot(700, [&] { vanished = board->command(QStringLiteral("vanish")) == QLatin1String("ok"); });
    control<QPushButton>(w.get(), QStringLiteral("writefirst"))->click();
    EXPECT_TRUE(vanished);
    EXPECT_TRUE(eventually([&] { return !w->MSComm->portOpen(); }));
    EXPECT_TRUE(commandButtonsEnabled());
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch"))->text(), "打开串口");
    const BoardProcess::State s = board->state();
    EXPECT_FALSE(s.lineOpen);
    EXPECT_GE(s.frames, 1);
    EXPECT_LT(s.frames, 8);
}
