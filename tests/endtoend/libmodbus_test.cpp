// The whole tool against an independent MODBUS stack: a libmodbus RTU slave
// at address 33 on ports/COM1. The lamps must show exactly the slave's
// tables, the relay writes must land in its coil table, and what the slave
// cannot answer must change nothing in the tool.
#include "modbusslave.h"
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
#include <QPushButton>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ToolOnLibmodbus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(slave.start()) << slave.error().toStdString();
        ASSERT_TRUE(slave.linkAs(dir.path(), 1));
        w = startToolOnCom1(dir.path(), &dialogs);
        ASSERT_TRUE(w && w->MSComm->portOpen()) << dialogs.texts().join(QLatin1Char('|')).toStdString();
        ASSERT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");
    }
    void TearDown() override { w.reset(); }

    uint8_t lampByte(int base) const
    {
        const DeviceState *s = w->statusWindows()->currentDeviceState();
        uint8_t v = 0;
        for (int k = 0; s && k < 8; ++k)
            if (s->lamp(base + k))
                v |= uint8_t(1u << k);
        return v;
    }
    uint8_t relayLamps() const { return lampByte(DeviceState::kRelayLampBase); }
    uint8_t inputLamps() const { return lampByte(DeviceState::kInputLampBase); }
    // Reads both tables through the status window and waits for the lamps,
    // after both answers came in and the reply parser looked at them.
    bool readShows(uint8_t coils, uint8_t inputs)
    {
        devicestatus *st = w->statusWindows()->statusWindow();
        if (!st)
            return false;
        const int asked = slave.requests();
        const qint64 received = w->counters()->RxTotal();
        // One request at a time: the slave takes the next after its answer.
        control<QPushButton>(st, QStringLiteral("Command3"))->click();
        if (!QTest::qWaitFor([&] { return slave.requests() > asked && relayLamps() == coils; }, 3000))
            return false;
        control<QPushButton>(st, QStringLiteral("Command4"))->click();
        if (!QTest::qWaitFor([&] { return w->counters()->RxTotal() >= received + 12; }, 3000))
            return false;
        QSignalSpy ticks(control<QTimer>(w.get(), QStringLiteral("Timer2")), &QTimer::timeout);
        return QTest::qWaitFor([&] { return ticks.size() >= 2 && relayLamps() == coils && inputLamps() == inputs; },
                               3000);
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    ModbusSlave slave{33};
    std::unique_ptr<relay> w;
};

} // namespace

TEST_F(ToolOnLibmodbus, ReadsLightExactlyTheLampsOfTheSlavesTables)
{
    slave.setCoils(0x5A);
    slave.setDiscreteInputs(0x81);
    control<QPushButton>(w.get(), QStringLiteral("Command1"))->click();
    ASSERT_NE(w->statusWindows()->statusWindow(), nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return relayLamps() == 0x5A && inputLamps() == 0x81; }, 3000))
        << int(relayLamps()) << " " << int(inputLamps());
    // The relay boxes follow the relay answer.
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(w->statusWindows()->statusWindow()->relayCheck(k)->isChecked(), bool((0x5A >> k) & 1)) << k;

    slave.setCoils(0x01);
    slave.setDiscreteInputs(0xFE);
    EXPECT_TRUE(readShows(0x01, 0xFE));
}

TEST_F(ToolOnLibmodbus, RelayWritesLandInTheCoilTable)
{
    control<QPushButton>(w.get(), QStringLiteral("Command1"))->click();
    devicestatus *st = w->statusWindows()->statusWindow();
    ASSERT_NE(st, nullptr);
    control<QPushButton>(st, QStringLiteral("OPENALL"))->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return slave.coils() == 0xFF; }, 3000));
    control<QPushButton>(st, QStringLiteral("CLOSEALL"))->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return slave.coils() == 0x00; }, 3000));
    for (int k : {0, 2, 5, 7})
        st->relayCheck(k)->click();
    control<QPushButton>(st, QStringLiteral("Command2"))->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return slave.coils() == 0xA5; }, 3000));
    EXPECT_TRUE(readShows(0xA5, 0x00));
}

TEST_F(ToolOnLibmodbus, WhatTheSlaveCannotAnswerChangesNothing)
{
    slave.setCoils(0x3C);
    slave.setDiscreteInputs(0x42);
    control<QPushButton>(w.get(), QStringLiteral("Command1"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return relayLamps() == 0x3C && inputLamps() == 0x42; }, 3000));

    // The board's own direct output (function 0x88): silence or an
    // exception reply from the slave, and nothing moves in the tool.
    const int before = slave.requests();
    const int rejected = slave.rejected();
    control<QCheckBox>(w.get(), QStringLiteral("outcheck%1").arg((0) + 1), 0)->click();
    control<QPushButton>(w.get(), QStringLiteral("Command2"))->click();
    // libmodbus does not know the function: it drops the frame and flushes the line.
    ASSERT_TRUE(QTest::qWaitFor([&] { return slave.rejected() > rejected; }, 5000));
    // A search is a broadcast: libmodbus takes it and keeps silent; the address stays.
    control<QPushButton>(w.get(), QStringLiteral("sdevice"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return slave.requests() > before; }, 3000));
    // Both went out before a read whose answers come after anything the
    // slave said to them; the lamps move only with those answers.
    int changes = 0;
    auto watch = [&] {
        if (relayLamps() != 0x3C || inputLamps() != 0x42)
            ++changes;
    };
    QObject::connect(w->MSComm, &SerialPort::OnComm, w.get(), watch);
    QObject::connect(control<QTimer>(w.get(), QStringLiteral("Timer2")), &QTimer::timeout, w.get(), watch);
    EXPECT_TRUE(readShows(0x3C, 0x42));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(slave.coils(), 0x3C);
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");

    // The line is still in step afterwards.
    slave.setCoils(0xC3);
    EXPECT_TRUE(readShows(0xC3, 0x42));
    EXPECT_GT(slave.requests(), before);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.texts().join(QLatin1Char('|')).toStdString();
}
