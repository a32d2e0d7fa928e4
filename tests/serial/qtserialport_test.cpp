#include "pty.h"
#include "qtprint.h"
#include "serial/portresolver.h"
#include "serial/qtserialport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/time.h>

namespace {
std::unique_ptr<QtSerialPort> openOn(PtyPair &pty, QTemporaryDir &dir)
{
    pty.linkAs(dir.path(), 1);
    auto port = std::make_unique<QtSerialPort>(std::make_shared<PortResolver>(dir.path(), false));
    port->setCommPort(1);
    port->setRThreshold(1);
    port->setSThreshold(1);
    return port;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

TEST(QtSerialPort, OpensLinkedPtyAndMovesBytesBothWays)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QTemporaryDir dir;
    auto port = openOn(pty, dir);
    ASSERT_TRUE(port->setPortOpen(true)) << port->errorString().toStdString();
    EXPECT_TRUE(port->portOpen());

    QByteArray got;
    QObject::connect(port.get(), &SerialPort::OnComm, [&] {
        if (port->commEvent() == SerialPort::comEvReceive)
            got += port->input();
    });
    pty.write("\x01\x02\xff");
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.size() >= 3; }, 3000));
    EXPECT_EQ(got, QByteArray("\x01\x02\xff"));

    QSignalSpy written(port.get(), &SerialPort::bytesWritten);
    ASSERT_TRUE(port->output("\xAA\xB3\xF5"));
    EXPECT_EQ(pty.readFor(3, 3000), QByteArray("\xAA\xB3\xF5"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !written.isEmpty(); }, 3000));

    port->setPortOpen(false);
    EXPECT_FALSE(port->output("x"));
}

TEST(QtSerialPort, MissingPortAndBadSettingsFailToOpen)
{
    QTemporaryDir dir;
    QtSerialPort port(std::make_shared<PortResolver>(dir.path(), false));
    port.setCommPort(7);
    EXPECT_FALSE(port.setPortOpen(true));
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(port.setSettings("9600,Q,8,1"));
    EXPECT_EQ(port.settings(), "9600,N,8,1");
}

TEST(QtSerialPort, PeerClosingItsSideClosesThePortWithoutSpinning)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QTemporaryDir dir;
    auto port = openOn(pty, dir);
    ASSERT_TRUE(port->setPortOpen(true));
    QSignalSpy lost(port.get(), &SerialPort::portLost);
    pty.closeMaster();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !lost.isEmpty(); }, 3000));
    EXPECT_FALSE(port->portOpen());
    // Idle afterwards: half a second of events costs almost no CPU.
    const double before = cpuSeconds();
    QTest::qWait(500);
    EXPECT_LT(cpuSeconds() - before, 0.2);
}

TEST(QtSerialPort, PacedStreamArrivesWholeInOrderInBatches)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QTemporaryDir dir;
    auto port = openOn(pty, dir);
    constexpr int kPacing = 10;
    port->setReceivePacing(kPacing, [] { return kPacing; });
    ASSERT_TRUE(port->setPortOpen(true));
    QByteArray got;
    int events = 0;
    QObject::connect(port.get(), &SerialPort::OnComm, [&] {
        if (port->commEvent() == SerialPort::comEvReceive) {
            ++events;
            got += port->input();
        }
    });

    // A line that delivers a few bytes every 2 ms.
    QByteArray sent;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 100; ++i) {
        const QByteArray piece = QByteArray::number(i).rightJustified(3, '0') + ';';
        pty.write(piece);
        sent += piece;
        QTest::qWait(2);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.size() >= sent.size(); }, 3000));
    EXPECT_EQ(got, sent);
    // After each small batch the line is left alone for the pacing time, so
    // events are at least that far apart however the reads fell.
    EXPECT_LE(events, clock.elapsed() / kPacing + 2) << "over " << clock.elapsed() << " ms";

    // No pause allowed: every read is an event at once, and nothing waits.
    port->setReceivePacing(kPacing, [] { return 0; });
    QTest::qWait(3 * kPacing);
    got.clear();
    pty.write("one");
    ASSERT_TRUE(QTest::qWaitFor([&] { return got == "one"; }, 3000));
    pty.write("two");
    ASSERT_TRUE(pty.waitUntilSlaveReadable(3000));
    QCoreApplication::processEvents();
    EXPECT_EQ(got, "onetwo");
}

TEST(QtSerialPort, ReceiveNowTakesInWhatArrivedDuringAPause)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QTemporaryDir dir;
    auto port = openOn(pty, dir);
    port->setReceivePacing(10);
    ASSERT_TRUE(port->setPortOpen(true));
    QByteArray got;
    QObject::connect(port.get(), &SerialPort::OnComm, [&] {
        if (port->commEvent() == SerialPort::comEvReceive)
            got += port->input();
    });
    pty.write("AB");
    ASSERT_TRUE(QTest::qWaitFor([&] { return got == "AB"; }, 3000));
    // The port now pauses; no event runs until the bytes are asked for.
    pty.write("CD");
    ASSERT_TRUE(pty.waitUntilSlaveReadable(3000));
    port->receiveNow();
    EXPECT_EQ(got, "ABCD");
    // Nothing waiting: asking again changes nothing, and the line is watched again.
    port->receiveNow();
    EXPECT_EQ(got, "ABCD");
    pty.write("EF");
    EXPECT_TRUE(QTest::qWaitFor([&] { return got == "ABCDEF"; }, 3000));
    EXPECT_EQ(port->errorString(), QString());
}
