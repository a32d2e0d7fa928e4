// The answer checks beside the reply parser, and the bus monitor's list.
#include "fakeserialport.h"

#include "diag/answercheck.h"
#include "diag/busframemodel.h"
#include "protocol/frames.h"
#include "serial/openfailure.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray withCrc(const char *text)
{
    return frames::closeFrame(QByteArray::fromHex(QByteArray(text)));
}

QByteArray corrupt(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
    return frame;
}

class Check : public ::testing::Test
{
protected:
    Check() { check.client()->setTimeoutMs(40); }
    // Writes a request and lets its answer come (or not) until the check ends it.
    void exchange(const QByteArray &request, const QByteArray &answer)
    {
        QSignalSpy changed(&check, &AnswerCheck::changed);
        const int before = check.answered() + check.noAnswer() + check.crcErrors();
        check.frameWritten(request);
        if (!answer.isEmpty())
            check.bytesReceived(answer);
        if (check.answered() + check.noAnswer() + check.crcErrors() == before) {
            ASSERT_TRUE(changed.wait(5000));
        }
    }
    FakeSerialPort port;
    AnswerCheck check{&port};
};

} // namespace

TEST_F(Check, CountsAnswersAndNamesEachProblemPlainly)
{
    const QByteArray read33 = frames::ReadRelaysFrame(33);
    exchange(read33, withCrc("2101015A"));
    EXPECT_EQ(check.answered(), 1);
    EXPECT_TRUE(check.lastMessage().isEmpty());

    exchange(read33, QByteArray());
    EXPECT_EQ(check.noAnswer(), 1);
    EXPECT_EQ(check.lastMessage(), QStringLiteral("地址33无应答（读继电器）"));

    // Another board answers: said as such, and not counted as answered.
    exchange(read33, withCrc("0501015A"));
    EXPECT_EQ(check.lastMessage(), QStringLiteral("收到地址5的应答，当前地址为33"));
    EXPECT_EQ(check.answered(), 1);

    for (int i = 0; i < 3; ++i)
        exchange(read33, corrupt(withCrc("2101015A")));
    EXPECT_EQ(check.crcErrors(), 3);
    EXPECT_EQ(check.lastMessage(), QStringLiteral("校验错误3次：请检查波特率和接线"));
    EXPECT_TRUE(check.lineText().startsWith(QStringLiteral("应答1 无应答2 校验错误3")));

    // Writes are answered by their echo; an exception is an answer that refuses.
    exchange(frames::ResetFrame(33), frames::ResetFrame(33));
    EXPECT_EQ(check.answered(), 2);
    exchange(frames::ReadInputsFrame(33), withCrc("218202"));
    EXPECT_EQ(check.lastMessage(), QStringLiteral("地址33拒绝了请求（读输入）：异常 02"));
}

TEST_F(Check, ANewRequestEndsTheOneStillWaitingAndBroadcastsWaitForNothing)
{
    QSignalSpy changed(&check, &AnswerCheck::changed);
    check.client()->setTimeoutMs(10000);
    // Nothing awaited: the port may pause as long as it likes. While an
    // answer is awaited, a paused read stays well inside a frame gap, and
    // more so while the monitor times every frame.
    EXPECT_GE(check.readPauseLimitMs(), 1000);
    check.frameWritten(frames::ReadRelaysFrame(33));
    EXPECT_GE(check.readPauseLimitMs(), 1);
    EXPECT_LE(check.readPauseLimitMs() * 2000, check.client()->gapUs());
    check.setWatchAll(true);
    EXPECT_GE(check.readPauseLimitMs(), 1);
    EXPECT_LE(check.readPauseLimitMs() * 4000, check.client()->gapUs());
    check.setWatchAll(false);
    check.frameWritten(frames::SetAddressFrame(7)); // a broadcast: nobody answers
    EXPECT_EQ(check.noAnswer(), 1);
    check.frameWritten(frames::PortGreetingFrame());
    EXPECT_EQ(check.noAnswer(), 1);
    // The search is answered by whoever is on the bus.
    check.frameWritten(frames::SearchFrame());
    check.bytesReceived(withCrc("00340021"));
    EXPECT_EQ(check.answered(), 1);
}

TEST(BusFrames, RingKeepsTheLastFramesAndAddsThemInOneBatch)
{
    BusFrameModel model(5);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 12; ++i)
        model.addSent(frames::ReadRelaysFrame(uint8_t(i + 1)), qint64(i) * 1000);
    EXPECT_EQ(model.rowCount(), 0); // nothing until the batch goes in
    model.flush();
    EXPECT_EQ(inserted.count(), 1);
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.index(0, BusFrameModel::Meaning).data().toString(), QStringLiteral("读继电器 地址8"));
    EXPECT_EQ(model.index(4, BusFrameModel::Meaning).data().toString(), QStringLiteral("读继电器 地址12"));

    // An answer, noise and a garbled answer, each shown for what it is.
    model.addReceived({RtuFrame::Frame, withCrc("0C01015A"), 13500});
    model.addReceived({RtuFrame::Noise, QByteArray::fromHex("FF00"), 14000});
    model.addReceived({RtuFrame::BadCrc, corrupt(withCrc("0C01015A")), 15000});
    model.flush();
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.index(2, BusFrameModel::Meaning).data().toString(), QStringLiteral("继电器状态 0x5A 地址12"));
    EXPECT_EQ(model.index(2, BusFrameModel::AnswerTime).data().toString(), QStringLiteral("2.5"));
    EXPECT_EQ(model.index(2, BusFrameModel::Crc).data().toString(), QStringLiteral("正确"));
    EXPECT_EQ(model.index(3, BusFrameModel::Bytes).data().toString(), QStringLiteral("FF 00"));
    EXPECT_EQ(model.index(3, BusFrameModel::Crc).data().toString(), QStringLiteral("无帧"));
    EXPECT_EQ(model.index(4, BusFrameModel::Crc).data().toString(), QStringLiteral("错误"));

    const QList<QByteArray> lines = model.toCsv().split('\n');
    EXPECT_EQ(lines.size(), 7); // header, five rows, the empty end
    EXPECT_TRUE(lines[0].startsWith("时间(ms),方向,字节"));

    // A long run of noise keeps only its head; the row says how long it was.
    model.addReceived({RtuFrame::Noise, QByteArray(5000, char(0xFF)), 16000});
    model.flush();
    EXPECT_TRUE(model.index(4, BusFrameModel::Bytes).data().toString().endsWith(QStringLiteral("FF …")));
    EXPECT_EQ(model.index(4, BusFrameModel::Meaning).data().toString(), QStringLiteral("无法成帧的字节（5000字节）"));

    model.setPaused(true);
    model.addSent(frames::SearchFrame(), 20000);
    model.flush();
    EXPECT_EQ(model.index(4, BusFrameModel::Crc).data().toString(), QStringLiteral("无帧"));
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(OpenFailureText, PermissionBusyAndMissingDeviceSayWhatToDo)
{
    QTemporaryDir dir;
    const OpenFailure denied = explainOpenFailure(QStringLiteral("COM1"), QString(), QStringLiteral("Permission denied"), dir.path());
    EXPECT_EQ(denied.kind, QStringLiteral("permission"));
    EXPECT_TRUE(denied.advice.contains(QStringLiteral("dialout"))) << denied.advice.toStdString();
    const OpenFailure locked = explainOpenFailure(QStringLiteral("COM1"), dir.path(),
                                                  QStringLiteral("Permission error while locking the device"), dir.path());
    EXPECT_EQ(locked.kind, QStringLiteral("busy"));
    EXPECT_TRUE(locked.advice.contains(QStringLiteral("其他程序占用")));
    QDir(dir.path()).mkpath(QStringLiteral("ports"));
    QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("ports/COM2")));
    const OpenFailure dangling = explainOpenFailure(QStringLiteral("COM2"), QString(), QString(), dir.path());
    EXPECT_EQ(dangling.kind, QStringLiteral("no-device"));
    EXPECT_TRUE(dangling.advice.contains(QStringLiteral("ports/COM2")));
}
