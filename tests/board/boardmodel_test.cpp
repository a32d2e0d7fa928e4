#include "boarddevice.h"
#include "boardmodel.h"
#include "protocol/frames.h"
#include "qtprint.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using board::BoardModel;
using board::FrameSplitter;

namespace {
QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// Feeds one chunk and expects at most one answer; returns it (or empty).
QByteArray answerTo(BoardModel &b, const QByteArray &bytes)
{
    const QList<QByteArray> out = b.receive(bytes);
    EXPECT_LE(out.size(), 1);
    return out.isEmpty() ? QByteArray() : out.first();
}
} // namespace

TEST(BoardModel, AnswersTheSearchWithItsAddressEvenAsABroadcast)
{
    BoardModel b;
    EXPECT_EQ(answerTo(b, frames::SearchFrame()), hex("0034002181F2"));
    b.setAddress(5);
    const QByteArray a = answerTo(b, frames::SearchFrame());
    EXPECT_EQ(a.left(4), hex("00340005"));
    EXPECT_TRUE(frames::hasValidCrc(a));
}

TEST(BoardModel, ReadsAnswerRelaysAndInputsInTheShapeTheToolParses)
{
    BoardModel b;
    b.setWrittenRelays(0x5A);
    b.setInputs(0x81);
    EXPECT_EQ(answerTo(b, frames::ReadRelaysFrame(33)), hex("2101015ADA73"));
    EXPECT_EQ(answerTo(b, frames::ReadInputsFrame(33)), hex("210201816A28"));
    // Partial reads follow MODBUS: start 1, two coils of 0x5A are bits 1,2 -> 01.
    const QByteArray partial = frames::closeFrame(hex("210100010002"));
    EXPECT_EQ(answerTo(b, partial), BoardModel::stateAnswer(33, 0x01, 0x01));
    // Beyond the eight coils, or zero of them: exception answers.
    EXPECT_EQ(answerTo(b, frames::closeFrame(hex("210100070002"))), BoardModel::exceptionAnswer(33, 0x01, 2));
    EXPECT_EQ(answerTo(b, frames::closeFrame(hex("210200000000"))), BoardModel::exceptionAnswer(33, 0x02, 3));
}

TEST(BoardModel, RelayWritesAreCarriedOutAndConfirmed)
{
    BoardModel b;
    const QByteArray on = answerTo(b, frames::WriteRelaysFrame(33, 0xFF));
    EXPECT_EQ(on, frames::closeFrame(hex("210F00000008")));
    EXPECT_EQ(b.relays(), 0xFF);
    EXPECT_EQ(answerTo(b, frames::WriteRelaysFrame(33, 0x00)).left(6), hex("210F00000008"));
    EXPECT_EQ(b.relays(), 0x00);
    answerTo(b, frames::WriteRelaysFrame(33, 0x24));
    EXPECT_EQ(answerTo(b, frames::ReadRelaysFrame(33)), BoardModel::stateAnswer(33, 0x01, 0x24));
    // Single coil write: echo, one bit.
    const QByteArray one = frames::closeFrame(hex("21050000FF00"));
    EXPECT_EQ(answerTo(b, one), one);
    EXPECT_EQ(b.relays(), 0x25);
}

TEST(BoardModel, ResetAndReportingEchoTheRequest)
{
    BoardModel b;
    b.setWrittenRelays(0xF0);
    b.setStep(LogicStep{2, 0x01, 0, 0x02});
    EXPECT_EQ(answerTo(b, frames::ResetFrame(33)), hex("2106006900019F76"));
    EXPECT_EQ(b.relays(), 0x00);
    EXPECT_EQ(b.address(), 33);
    EXPECT_EQ(b.state().steps[1].outMask, 0x02);

    EXPECT_EQ(answerTo(b, frames::InputReportFrame(33, true)), frames::InputReportFrame(33, true));
    EXPECT_TRUE(b.reporting());
    EXPECT_EQ(answerTo(b, frames::InputReportFrame(33, false)), frames::InputReportFrame(33, false));
    EXPECT_FALSE(b.reporting());
}

TEST(BoardModel, TakesANewAddressFromTheBroadcastWithoutAnswering)
{
    BoardModel b;
    EXPECT_TRUE(b.receive(frames::SetAddressFrame(7)).isEmpty());
    EXPECT_EQ(b.address(), 7);
    EXPECT_TRUE(b.receive(frames::ReadRelaysFrame(33)).isEmpty());
    EXPECT_EQ(answerTo(b, frames::ReadRelaysFrame(7)), BoardModel::stateAnswer(7, 0x01, 0));
    // 0 is the broadcast address itself and is refused.
    EXPECT_TRUE(b.receive(frames::SetAddressFrame(0)).isEmpty());
    EXPECT_EQ(b.address(), 7);
}

TEST(BoardModel, StoresTheEightProgramSteps)
{
    BoardModel b;
    for (int s = 1; s <= 8; ++s) {
        const LogicStep step{uint8_t(s), uint8_t(s), uint8_t(0x80 >> (s - 1)), uint8_t(0xFF - s)};
        const QByteArray f = frames::StepFrame(33, step);
        ASSERT_EQ(f.size(), 14);
        EXPECT_EQ(answerTo(b, f), frames::closeFrame(hex("211000770003")));
    }
    for (int s = 1; s <= 8; ++s) {
        const LogicStep &st = b.state().steps[s - 1];
        EXPECT_EQ(st.stepNo, s);
        EXPECT_EQ(st.andMask, s);
        EXPECT_EQ(st.orMask, 0x80 >> (s - 1));
        EXPECT_EQ(st.outMask, 0xFF - s);
    }
    // Step 9 does not exist.
    const QByteArray nine = frames::StepFrame(33, LogicStep{9, 1, 1, 1});
    EXPECT_EQ(answerTo(b, nine), BoardModel::exceptionAnswer(33, 0x10, 3));
}

TEST(BoardModel, DirectOutputSetsTheOrOfTheOutputBytesSilently)
{
    BoardModel b;
    EXPECT_TRUE(b.receive(frames::DirectOutputFrame(33, {0x01, 0, 0x04, 0, 0, 0x80, 0, 0x01})).isEmpty());
    EXPECT_EQ(b.relays(), 0x85);
    EXPECT_EQ(b.framesHandled(), 1);
}

TEST(BoardModel, IgnoresBadCrcOtherAddressesAndBroadcastReads)
{
    BoardModel b;
    QSignalSpy changed(&b, &BoardModel::changed);
    QByteArray bad = frames::WriteRelaysFrame(33, 0xFF);
    bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 1);
    EXPECT_TRUE(b.receive(bad).isEmpty());
    EXPECT_TRUE(b.lineIdle().isEmpty());
    EXPECT_TRUE(b.receive(frames::WriteRelaysFrame(34, 0xFF)).isEmpty());
    EXPECT_TRUE(b.receive(frames::ReadRelaysFrame(0)).isEmpty());
    EXPECT_TRUE(b.receive(frames::ResetFrame(1)).isEmpty());
    EXPECT_EQ(b.relays(), 0x00);
    EXPECT_EQ(b.framesHandled(), 1); // only the broadcast read reached the board
    EXPECT_EQ(changed.count(), 0);
    // Broadcast writes are carried out without an answer.
    EXPECT_TRUE(b.receive(frames::WriteRelaysFrame(0, 0x0F)).isEmpty());
    EXPECT_EQ(b.relays(), 0x0F);
}

TEST(BoardModel, UnknownFunctionsAndRegistersGetExceptions)
{
    BoardModel b;
    EXPECT_EQ(answerTo(b, frames::closeFrame(hex("210300000001"))), BoardModel::exceptionAnswer(33, 0x03, 1));
    EXPECT_EQ(answerTo(b, frames::closeFrame(hex("210612340001"))), BoardModel::exceptionAnswer(33, 0x06, 2));
    const QByteArray e = BoardModel::exceptionAnswer(33, 0x06, 2);
    EXPECT_EQ(e.left(3), hex("218602"));
    EXPECT_TRUE(frames::hasValidCrc(e));
}

TEST(BoardModel, ReportsInputChangesOnlyWhileReportingIsOn)
{
    BoardModel b;
    EXPECT_TRUE(b.setInput(3, true).isEmpty());
    b.setReport(true);
    EXPECT_EQ(b.setInput(0, true), BoardModel::stateAnswer(33, 0x02, 0x09));
    EXPECT_TRUE(b.setInput(0, true).isEmpty()); // no change, no report
    EXPECT_EQ(b.setInputs(0x81), hex("210201816A28"));
    b.setAddress(9);
    EXPECT_EQ(b.setInput(7, false), BoardModel::stateAnswer(9, 0x02, 0x01));
}

TEST(BoardModel, ProgramDrivesRelaysOverTheWrittenState)
{
    BoardModel b;
    b.setStep(LogicStep{1, 0x03, 0x00, 0x01}); // X00 and X01 -> Y00
    b.setStep(LogicStep{2, 0x00, 0x30, 0x02}); // X04 or X05 -> Y01
    b.setStep(LogicStep{3, 0x40, 0x0C, 0x04}); // X06 and (X02 or X03) -> Y02
    b.setStep(LogicStep{4, 0x00, 0x00, 0x80}); // inactive
    b.setWrittenRelays(0x10);
    EXPECT_EQ(b.relays(), 0x10);
    b.setInputs(0x01);
    EXPECT_EQ(b.relays(), 0x10);
    b.setInputs(0x03);
    EXPECT_EQ(b.relays(), 0x11);
    b.setInputs(0x20);
    EXPECT_EQ(b.relays(), 0x12);
    b.setInputs(0x40);
    EXPECT_EQ(b.relays(), 0x10);
    b.setInputs(0x48);
    EXPECT_EQ(b.relays(), 0x14);
    EXPECT_EQ(answerTo(b, frames::ReadRelaysFrame(33)), BoardModel::stateAnswer(33, 0x01, 0x14));
    b.setInputs(0x00);
    EXPECT_EQ(b.relays(), 0x10);
}

TEST(FrameSplitter, JoinsRequestsSplitOverManyReads)
{
    BoardModel b;
    const QByteArray f = frames::StepFrame(33, LogicStep{1, 1, 0, 1});
    QList<QByteArray> out;
    for (char c : f)
        out += b.receive(QByteArray(1, c));
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0], frames::closeFrame(hex("211000770003")));
    // Several requests in one read: answered in order.
    b.setWrittenRelays(0x5A);
    out = b.receive(frames::ReadRelaysFrame(33) + frames::ReadInputsFrame(33) + frames::SearchFrame());
    ASSERT_EQ(out.size(), 3);
    EXPECT_EQ(out[0], hex("2101015ADA73"));
    EXPECT_EQ(out[1].left(3), hex("210201"));
    EXPECT_EQ(out[2], hex("0034002181F2"));
}

TEST(FrameSplitter, ResyncsAfterNoiseAndGreeting)
{
    BoardModel b;
    const QByteArray noise = hex("AAB3F5" "FF0121" "0110");
    const QList<QByteArray> out = b.receive(noise + frames::ReadRelaysFrame(33) + hex("00") + frames::ReadInputsFrame(33));
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0].left(2), hex("2101"));
    EXPECT_EQ(out[1].left(2), hex("2102"));
    EXPECT_GT(b.splitter().discarded(), 0);
}

TEST(FrameSplitter, AQuietLineReleasesARequestStuckBehindALongCandidate)
{
    BoardModel b;
    // 21 10 ... with byte count 0x30 looks like the start of a long request
    // and holds back the real one behind it until the line goes quiet.
    const QByteArray stuck = hex("21100077000330");
    EXPECT_TRUE(b.receive(stuck + frames::ReadRelaysFrame(33)).isEmpty());
    const QList<QByteArray> out = b.lineIdle();
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].left(2), hex("2101"));
    EXPECT_EQ(b.splitter().pending(), 0);
    // A truncated request is dropped; the next one is answered normally.
    EXPECT_TRUE(b.receive(frames::ReadRelaysFrame(33).left(5)).isEmpty());
    b.lineIdle();
    EXPECT_EQ(b.receive(frames::ReadInputsFrame(33)).size(), 1);
}

TEST(FrameSplitter, RequestLengths)
{
    EXPECT_EQ(FrameSplitter::requestLength(hex("21")), 0);
    EXPECT_EQ(FrameSplitter::requestLength(hex("2101")), 8);
    EXPECT_EQ(FrameSplitter::requestLength(hex("210F000000")), 0);
    EXPECT_EQ(FrameSplitter::requestLength(frames::WriteRelaysFrame(33, 1)), 10);
    EXPECT_EQ(FrameSplitter::requestLength(frames::StepFrame(33, LogicStep{1, 0, 0, 0})), 14);
    EXPECT_EQ(FrameSplitter::requestLength(frames::DirectOutputFrame(33, {})), 13);
    EXPECT_EQ(FrameSplitter::requestLength(hex("21AA")), -1);
    EXPECT_EQ(FrameSplitter::requestLength(hex("2110007700FFFF")), -1);
}

TEST(Misbehaviour, ShapesWhatGoesOut)
{
    const QByteArray a = BoardModel::stateAnswer(33, 0x01, 0x5A);
    quint32 seed = 1;
    board::Misbehaviour m;
    EXPECT_EQ(board::shapeOutgoing(a, m, 33, &seed), a);
    m.corrupt = true;
    const QByteArray c = board::shapeOutgoing(a, m, 33, &seed);
    EXPECT_EQ(c.left(4), a.left(4));
    EXPECT_FALSE(frames::hasValidCrc(c));
    m.corrupt = false;
    m.noise = true;
    for (int i = 0; i < 50; ++i) {
        const QByteArray n = board::shapeOutgoing(a, m, 33, &seed);
        ASSERT_EQ(n.size(), a.size() + 3);
        EXPECT_TRUE(n.endsWith(a));
        for (int k = 0; k < 3; ++k) {
            EXPECT_NE(uint8_t(n[k]), 0x00);
            EXPECT_NE(uint8_t(n[k]), 33);
        }
    }
    m.silent = true;
    EXPECT_TRUE(board::shapeOutgoing(a, m, 33, &seed).isEmpty());
}

TEST(BoardCommands, ChangeTheBoardAndReportItsState)
{
    board::BoardDevice d;
    bool quit = false;
    EXPECT_EQ(board::runCommand(d, "input 3 on", &quit), "ok");
    EXPECT_EQ(board::runCommand(d, "inputs 0x81", &quit), "ok");
    EXPECT_EQ(board::runCommand(d, "relays 5", &quit), "ok");
    EXPECT_EQ(board::runCommand(d, "address 12", &quit), "ok");
    EXPECT_EQ(board::runCommand(d, "report on", &quit), "ok");
    EXPECT_EQ(board::runCommand(d, "step 2 0x03 0x80 0x0c", &quit), "ok");
    EXPECT_EQ(board::runCommand(d, "delay 250", &quit), "ok");
    EXPECT_EQ(board::runCommand(d, "noise on", &quit), "ok");
    EXPECT_EQ(d.misbehaviour().delayMs, 250);
    EXPECT_TRUE(d.misbehaviour().noise);
    EXPECT_EQ(board::runCommand(d, "state", &quit),
              "state address=12 relays=0x05 written=0x05 inputs=0x81 report=on "
              "steps=000000,03800c,000000,000000,000000,000000,000000,000000 frames=0 line=closed");
    for (const char *bad : {"input 8 on", "input 1 maybe", "address 0", "address 256", "delay -1", "frobnicate", "step 9 0 0 0"})
        EXPECT_TRUE(board::runCommand(d, bad, &quit).startsWith("error")) << bad;
    EXPECT_EQ(d.model().address(), 12);
    EXPECT_FALSE(quit);
    EXPECT_EQ(board::runCommand(d, "quit", &quit), "ok");
    EXPECT_TRUE(quit);
}
