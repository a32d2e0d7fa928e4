#include "protocol/crc.h"
#include "protocol/frames.h"
#include "qtprint.h"

#include <gtest/gtest.h>

namespace {
QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text)); }
} // namespace

TEST(ModbusCrc16, CheckValueAndLowByteFirst)
{
    const QByteArray digits("123456789");
    EXPECT_EQ(ModbusCrc16(reinterpret_cast<const uint8_t *>(digits.constData()), 9), 0x4B37);
    const QByteArray closed = frames::closeFrame(digits);
    ASSERT_EQ(closed.size(), 11);
    EXPECT_EQ(uint8_t(closed[9]), 0x37);
    EXPECT_EQ(uint8_t(closed[10]), 0x4B);
    // Only the first count bytes are covered.
    EXPECT_EQ(ModbusCrc16(reinterpret_cast<const uint8_t *>(closed.constData()), 9), 0x4B37);
}

TEST(Frames, WorkedFramesComeOutByteForByte)
{
    EXPECT_EQ(frames::SearchFrame(), hex("000600330001B9D4"));
    EXPECT_EQ(frames::SetAddressFrame(5), hex("0006000000054818"));
    EXPECT_EQ(frames::ReadRelaysFrame(1), hex("010100000008 3DCC"));
    EXPECT_EQ(frames::ReadRelaysFrame(33), hex("2101000000083AAC"));
    EXPECT_EQ(frames::ReadInputsFrame(33), hex("2102000000087EAC"));
    EXPECT_EQ(frames::ResetFrame(33), hex("2106006900019F76"));
    EXPECT_EQ(frames::WriteRelaysFrame(33, 0xFF), hex("210F0000000801FFBCCD"));
    EXPECT_EQ(frames::WriteRelaysFrame(33, 0x00), hex("210F000000080100FC8D"));
    EXPECT_EQ(frames::WriteRelaysFrame(33, 0x81), hex("210F0000000801813CED"));
    EXPECT_EQ(frames::InputReportFrame(33, true), hex("21061370 00014A35"));
    EXPECT_EQ(frames::InputReportFrame(33, false), hex("2106137000008BF5"));
    EXPECT_EQ(frames::DirectOutputFrame(33, {0x01, 0, 0, 0, 0, 0, 0, 0x80}), hex("218808010000000000008088 76"));
    EXPECT_EQ(frames::PortGreetingFrame(), hex("AAB3F5"));
}

TEST(Frames, LengthsAndFixedFieldsOfTheLongFrames)
{
    LogicStep s;
    s.stepNo = 3;
    s.andMask = 0x11;
    s.orMask = 0x22;
    s.outMask = 0x44;
    const QByteArray step = frames::StepFrame(33, s);
    ASSERT_EQ(step.size(), 14);
    EXPECT_EQ(step.left(7), hex("21100077000305"));
    EXPECT_EQ(uint8_t(step[7]), 3);
    EXPECT_TRUE(frames::hasValidCrc(step));
    EXPECT_EQ(frames::DirectOutputFrame(0, {}).size(), 13);
    // The broadcast address is an ordinary address byte.
    EXPECT_EQ(frames::ReadRelaysFrame(0).left(6), hex("000100000008"));
}

TEST(Frames, CrcCheckOfTheBoardsAnswers)
{
    for (const char *answer : {"2101015ADA73", "210201816A28", "0034002181F2"})
        EXPECT_TRUE(frames::hasValidCrc(hex(answer))) << answer;
    EXPECT_FALSE(frames::hasValidCrc(hex("2101015BDA73")));
    EXPECT_FALSE(frames::hasValidCrc(hex("2101015ADA74")));
    EXPECT_FALSE(frames::hasValidCrc(hex("21")));
}
