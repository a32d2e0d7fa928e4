// The board session: single frames and the paced commands, with an injected
// waiter so that no test waits in real time.
#include "fakeserialport.h"
#include "fakewaiter.h"
#include "qtprint.h"

#include "board/boardsession.h"
#include "protocol/frames.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Session : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port = std::make_unique<FakeSerialPort>();
        ASSERT_TRUE(port->setPortOpen(true));
        session = std::make_unique<BoardSession>(port.get(), &waiter);
    }
    QList<QByteArray> written() const
    {
        QList<QByteArray> out;
        for (const auto &w : port->writes)
            out << w.bytes;
        return out;
    }
    // What picking another port does to a waiting command.
    void switchPort()
    {
        session->portSwitching();
        port->setPortOpen(false);
        port->setCommPort(2);
        port->setPortOpen(true);
    }

    std::unique_ptr<FakeSerialPort> port;
    FakeWaiter waiter;
    std::unique_ptr<BoardSession> session;
};

LogicStep stepNo(int s)
{
    LogicStep st;
    st.stepNo = uint8_t(s);
    st.outMask = uint8_t(1u << (s - 1));
    return st;
}

} // namespace

TEST_F(Session, SendWritesWholeFramesAndAClosedPortIsReported)
{
    QSignalSpy notOpen(session.get(), &BoardSession::portNotOpen);
    EXPECT_TRUE(session->send(frames::SearchFrame()));
    EXPECT_EQ(written(), QList<QByteArray>{frames::SearchFrame()});
    port->setPortOpen(false);
    EXPECT_FALSE(session->send(frames::ResetFrame(33)));
    EXPECT_EQ(notOpen.size(), 1);
    EXPECT_EQ(port->writes.size(), 1);
}

TEST_F(Session, StatusReadsArePacedAndTheFirstWaitComesBeforeAnyFrame)
{
    QList<int> writtenAtPause;
    waiter.onWait = [&](int) {
        writtenAtPause << int(port->writes.size());
        return true;
    };
    EXPECT_EQ(session->readStatus(0x21), BoardSession::End::Done);
    EXPECT_EQ(waiter.waits, (QList<int>{100, 500}));
    EXPECT_EQ(writtenAtPause, (QList<int>{0, 1}));
    EXPECT_EQ(written(), (QList<QByteArray>{frames::ReadRelaysFrame(0x21), frames::ReadInputsFrame(0x21)}));
}

TEST_F(Session, DownloadSendsEightStepsReadJustBeforeTheirFrames)
{
    QList<int> readAt; // frames written when step s was read
    const auto end = session->download(7, [&](int s) {
        readAt << int(port->writes.size());
        return stepNo(s);
    });
    EXPECT_EQ(end, BoardSession::End::Done);
    EXPECT_EQ(waiter.waits, (QList<int>{250, 250, 250, 250, 250, 250, 250, 100}));
    EXPECT_EQ(readAt, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    ASSERT_EQ(port->writes.size(), 8);
    for (int s = 1; s <= 8; ++s)
        EXPECT_EQ(port->writes[s - 1].bytes, frames::StepFrame(7, stepNo(s))) << s;
}

TEST_F(Session, APortSwitchDuringAWaitStopsTheCommandAfterItsWholeFrames)
{
    // Download: the port is switched during the third pause.
    waiter.onWait = [&](int pause) {
        if (pause == 3)
            switchPort();
        return true;
    };
    EXPECT_EQ(session->download(7, stepNo), BoardSession::End::PortSwitched);
    EXPECT_EQ(port->writes.size(), 3);
    EXPECT_EQ(waiter.waits.size(), 3);

    // Status reads: a switch in the first pause sends nothing, and says nothing.
    QSignalSpy notOpen(session.get(), &BoardSession::portNotOpen);
    waiter.waits.clear();
    waiter.onWait = [&](int pause) {
        if (pause == 1)
            switchPort();
        return true;
    };
    EXPECT_EQ(session->readStatus(0x21), BoardSession::End::PortSwitched);
    EXPECT_EQ(port->writes.size(), 3);
    // In the second pause: the relay read went out, the input read does not.
    waiter.waits.clear();
    waiter.onWait = [&](int pause) {
        if (pause == 2)
            switchPort();
        return true;
    };
    EXPECT_EQ(session->readStatus(0x21), BoardSession::End::PortSwitched);
    EXPECT_EQ(port->writes.size(), 4);
    EXPECT_EQ(port->writes.last().bytes, frames::ReadRelaysFrame(0x21));
    EXPECT_EQ(notOpen.size(), 0);

    // A command started after the switch runs on the new port.
    waiter.onWait = nullptr;
    EXPECT_EQ(session->readStatus(0x21), BoardSession::End::Done);
    EXPECT_EQ(port->writes.size(), 6);
}

TEST_F(Session, APortClosedDuringAWaitStopsTheDownloadSilentlyAndTheReadsWithTheirWarning)
{
    QSignalSpy notOpen(session.get(), &BoardSession::portNotOpen);
    waiter.onWait = [&](int pause) {
        if (pause == 2)
            port->setPortOpen(false); // the adapter went away
        return true;
    };
    EXPECT_EQ(session->download(7, stepNo), BoardSession::End::PortClosed);
    EXPECT_EQ(port->writes.size(), 2);
    EXPECT_EQ(notOpen.size(), 0);

    ASSERT_TRUE(port->setPortOpen(true));
    waiter.waits.clear();
    waiter.onWait = [&](int pause) {
        if (pause == 1)
            port->setPortOpen(false);
        return true;
    };
    EXPECT_EQ(session->readStatus(0x21), BoardSession::End::Done);
    EXPECT_EQ(port->writes.size(), 2);
    EXPECT_EQ(notOpen.size(), 2);
}

TEST_F(Session, QuittingEndsEveryCommandAtItsNextPause)
{
    waiter.onWait = [](int pause) { return pause < 2; };
    EXPECT_EQ(session->download(7, stepNo), BoardSession::End::Quitting);
    EXPECT_EQ(port->writes.size(), 2);
    waiter.waits.clear();
    EXPECT_EQ(session->readStatus(0x21), BoardSession::End::Quitting);
    EXPECT_EQ(port->writes.size(), 3);
}

TEST_F(Session, TheGreetingBlinksTheArrowAroundItsFrame)
{
    QStringList seen;
    waiter.onWait = [&](int) {
        seen << QStringLiteral("wait");
        return true;
    };
    const auto end = session->greeting([&](bool on) {
        seen << (on ? QStringLiteral("on") : QStringLiteral("off"));
        if (on && seen.size() > 1)
            seen << QStringLiteral("frames %1").arg(port->writes.size());
    });
    EXPECT_EQ(end, BoardSession::End::Done);
    EXPECT_EQ(seen, (QStringList{"on", "wait", "off", "wait", "on", "frames 1", "wait", "off"}));
    EXPECT_EQ(written(), QList<QByteArray>{frames::PortGreetingFrame()});
    EXPECT_EQ(waiter.waits, (QList<int>{500, 500, 500}));

    // Switched during its first pause: no greeting on the new port.
    waiter.onWait = [&](int pause) {
        if (pause == 4)
            switchPort();
        return true;
    };
    EXPECT_EQ(session->greeting([](bool) {}), BoardSession::End::PortSwitched);
    EXPECT_EQ(port->writes.size(), 1);
}
