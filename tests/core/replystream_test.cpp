// The reply stream: fed text, it emits what the parser finds; and the
// traffic counters.
#include "qtprint.h"

#include "protocol/frames.h"
#include "protocol/replystream.h"
#include "terminal/receiveformat.h"
#include "terminal/trafficcounters.h"

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
QString answer(const char *hexWithoutCrc)
{
    return receive::hexText(frames::closeFrame(QByteArray::fromHex(hexWithoutCrc)));
}
} // namespace

TEST(ReplyStream, EmitsTheStatesForTheAddressBoxAndConsumesThem)
{
    ReplyStream r;
    r.timer()->stop(); // ticks are run by hand
    QString address = QStringLiteral("33");
    r.addressText = [&] { return address; };
    QSignalSpy relays(&r, &ReplyStream::relayStateFound), inputs(&r, &ReplyStream::inputStateFound);
    r.tempstatus = answer("2101015A") + answer("21020181");
    r.Timer2_Timer();
    ASSERT_EQ(relays.size(), 1);
    EXPECT_EQ(relays[0][0].value<uint8_t>(), 0x5A);
    r.Timer2_Timer();
    ASSERT_EQ(inputs.size(), 1);
    EXPECT_EQ(inputs[0][0].value<uint8_t>(), 0x81);
    EXPECT_TRUE(r.tempstatus.isEmpty());

    // Another address: not applied.
    address = QStringLiteral("34");
    r.tempstatus = answer("2101015A");
    r.Timer2_Timer();
    EXPECT_EQ(relays.size(), 1);

    // What arrives as the tick takes in the input is parsed in that same tick.
    address = QStringLiteral("33");
    r.tempstatus.clear();
    r.takeInput = [&] { r.feed(answer("210101A5")); };
    r.Timer2_Timer();
    ASSERT_EQ(relays.size(), 2);
    EXPECT_EQ(relays[1][0].value<uint8_t>(), 0xA5);
}

TEST(ReplyStream, TheSearchAnswerAtTheHeadOfTheViewNamesANewAddressOnce)
{
    ReplyStream r;
    r.timer()->stop();
    QString address = QStringLiteral("33");
    const QString view = answer("00340007");
    r.addressText = [&] { return address; };
    r.receiveHead = [&](int count) { return view.left(count); };
    QSignalSpy found(&r, &ReplyStream::addressFound);
    r.tempstatus = view;
    r.Timer2_Timer();
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0][0].toString(), "7");
    // Once the box shows it, the same answer reports nothing more.
    address = QStringLiteral("7");
    r.Timer2_Timer();
    EXPECT_EQ(found.size(), 1);
}

TEST(ReplyStream, TrimmedTextAsksTheViewToShowWhatWaits)
{
    ReplyStream r;
    r.timer()->stop();
    r.addressText = [] { return QStringLiteral("33"); };
    QSignalSpy rewritten(&r, &ReplyStream::receiveViewRewritten);
    r.feed(QStringLiteral("FF") + answer("2101015A"));
    r.Timer2_Timer();
    ASSERT_EQ(rewritten.size(), 1);
    EXPECT_EQ(rewritten[0][0].toString(), r.tempstatus);
    EXPECT_EQ(r.timer()->objectName(), "Timer2");
}

TEST(ReplyStream, AFloodIsCutAsItArrivesAndItsLastAnswerStillApplies)
{
    ReplyStream r;
    r.timer()->setInterval(3600 * 1000); // running, but its ticks never come
    r.addressText = [] { return QStringLiteral("33"); };
    QSignalSpy relays(&r, &ReplyStream::relayStateFound);
    // Sixteen megabytes of bytes that are no answer, in reads of 8 KiB,
    // faster than any tick: the waiting text stays short all along.
    const QString piece = QStringLiteral("5A").repeated(8 * 1024);
    for (int i = 0; i < 2048; ++i) {
        r.feed(piece);
        ASSERT_LT(r.tempstatus.size(), ReplyStream::kFloodBacklog + piece.size());
    }
    EXPECT_LT(r.tempstatus.capacity(), 2 * (ReplyStream::kFloodBacklog + piece.size()));
    // An answer at the end of the flood is applied once the flood is cut.
    r.feed(answer("2101015A"));
    for (int i = 0; i < 20 && relays.isEmpty(); ++i)
        r.Timer2_Timer();
    ASSERT_EQ(relays.size(), 1);
    EXPECT_EQ(relays[0][0].value<uint8_t>(), 0x5A);
}

TEST(TrafficCounters, CountPast32BitsAndShowTheStatusRowTexts)
{
    TrafficCounters c;
    QSignalSpy changed(&c, &TrafficCounters::changed);
    c.addReceived(2147483647);
    c.addReceived(2);
    c.addSent(5);
    c.addSent(-3); // nothing written
    EXPECT_EQ(c.RxTotal(), 2147483649LL);
    EXPECT_EQ(c.rxText(), "RX:2147483649");
    EXPECT_EQ(c.txText(), "TX:5");
    c.clear();
    EXPECT_EQ(c.rxText(), "RX:0");
    EXPECT_EQ(changed.size(), 4);
}
