// The board's answers checked against an independent MODBUS stack: the same
// requests, sent by the tool's serial port to a libmodbus slave, must come
// back byte for byte as the virtual board answers them.
#include "boardmodel.h"
#include "modbusslave.h"
#include "protocol/frames.h"
#include "qtprint.h"
#include "serial/portresolver.h"
#include "realport.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

class ModbusSlaveOnPort : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(slave.start()) << slave.error().toStdString();
        ASSERT_TRUE(slave.linkAs(dir.path(), 1));
        ASSERT_TRUE(line.open(dir.path())) << line.error().toStdString();
    }

    // The virtual board's answer to the same request in the same state.
    QByteArray boardAnswer(const QByteArray &request, uint8_t relays, uint8_t inputs)
    {
        board::BoardModel b;
        b.setWrittenRelays(relays);
        b.setInputs(inputs);
        const QList<QByteArray> out = b.receive(request);
        return out.isEmpty() ? QByteArray() : out.first();
    }

    QTemporaryDir dir;
    ModbusSlave slave{33};
    ReceivingPort line;
};

} // namespace

TEST_F(ModbusSlaveOnPort, ReadsComeBackAsTheToolExpectsThem)
{
    slave.setCoils(0x5A);
    slave.setDiscreteInputs(0x81);
    const QByteArray relays = line.ask(frames::ReadRelaysFrame(33), 6);
    EXPECT_EQ(relays, hex("2101015ADA73"));
    EXPECT_TRUE(frames::hasValidCrc(relays));
    EXPECT_EQ(relays, boardAnswer(frames::ReadRelaysFrame(33), 0x5A, 0x81));

    const QByteArray inputs = line.ask(frames::ReadInputsFrame(33), 6);
    EXPECT_EQ(inputs, hex("210201816A28"));
    EXPECT_EQ(inputs, boardAnswer(frames::ReadInputsFrame(33), 0x5A, 0x81));

    // A start beyond the table: both give the same exception answer.
    const QByteArray beyond = frames::closeFrame(hex("210100070002"));
    EXPECT_EQ(line.ask(beyond, 5), boardAnswer(beyond, 0, 0));
}

TEST_F(ModbusSlaveOnPort, RelayWritesLandInTheCoilTable)
{
    for (uint8_t r : {uint8_t(0xFF), uint8_t(0x00), uint8_t(0xA5)}) {
        const QByteArray req = frames::WriteRelaysFrame(33, r);
        const QByteArray reply = line.ask(req, 8);
        EXPECT_EQ(reply, boardAnswer(req, 0, 0));
        EXPECT_TRUE(frames::hasValidCrc(reply));
        EXPECT_EQ(slave.coils(), r);
    }
}

TEST_F(ModbusSlaveOnPort, RegisterWritesEchoLikeTheBoard)
{
    EXPECT_EQ(line.ask(frames::InputReportFrame(33, true), 8), frames::InputReportFrame(33, true));
    EXPECT_EQ(slave.holdingRegister(0x1370), 1);
    EXPECT_EQ(line.ask(frames::ResetFrame(33), 8), boardAnswer(frames::ResetFrame(33), 0, 0));
    EXPECT_EQ(slave.holdingRegister(0x0069), 1);
}

TEST_F(ModbusSlaveOnPort, UnknownAndForeignFramesGetSilenceOrExceptions)
{
    slave.setCoils(0x3C);
    // Function 0x88 is the board's own: libmodbus cannot even tell its length.
    const QByteArray direct = line.ask(frames::DirectOutputFrame(33, {1, 2, 3, 4, 5, 6, 7, 8}), 5, 500);
    if (!direct.isEmpty()) {
        EXPECT_EQ(direct.size(), 5);
        EXPECT_TRUE(uint8_t(direct[1]) & 0x80);
        EXPECT_TRUE(frames::hasValidCrc(direct));
    }
    EXPECT_EQ(slave.coils(), 0x3C);
    // Another address and a broadcast read: no answer.
    EXPECT_TRUE(line.ask(frames::ReadRelaysFrame(34), 1, 300).isEmpty());
    EXPECT_TRUE(line.ask(frames::ReadRelaysFrame(0), 1, 300).isEmpty());
    // A register the slave does not have: the same exception answer as the board's.
    const QByteArray unknownRegister = frames::closeFrame(hex("210614000001"));
    const QByteArray ex = line.ask(unknownRegister, 5);
    EXPECT_EQ(ex, hex("218602").append(ex.right(2)));
    EXPECT_TRUE(frames::hasValidCrc(ex));
    EXPECT_EQ(ex, boardAnswer(unknownRegister, 0, 0));
    // The line still works afterwards.
    EXPECT_EQ(line.ask(frames::ReadRelaysFrame(33), 6), boardAnswer(frames::ReadRelaysFrame(33), 0x3C, 0));
}
