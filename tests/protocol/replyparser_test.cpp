#include "protocol/crc.h"
#include "protocol/replyparser.h"
#include "qtprint.h"

#include <QList>

#include <gtest/gtest.h>

namespace {
// Six answer bytes as the receive path writes them, CRC appended low byte first.
QString answer(uint8_t address, uint8_t function, uint8_t count, uint8_t data)
{
    uint8_t b[6] = {address, function, count, data, 0, 0};
    const uint16_t crc = ModbusCrc16(b, 4);
    b[4] = uint8_t(crc & 0xFF);
    b[5] = uint8_t(crc >> 8);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(b), 6).toHex().toUpper());
}
QString relays(uint8_t a, uint8_t d) { return answer(a, 0x01, 0x01, d); }
QString inputs(uint8_t a, uint8_t d) { return answer(a, 0x02, 0x01, d); }
QString search(uint8_t n) { return answer(0x00, 0x34, 0x00, n); }

// The two texts and the address box as the main window holds them, with
// what each tick applied.
struct Board
{
    QString waiting, box, combo = QStringLiteral("33");
    QList<uint8_t> inputs, relays;
    int ticks = 0;

    void receive(const QString &hex)
    {
        waiting += hex;
        box += hex;
    }
    ReplyTick tick()
    {
        ++ticks;
        const ReplyTick t = ReplyParser::tick(waiting, QStringView(box).left(12), combo);
        if (t.inputs)
            inputs << *t.inputs;
        if (t.relays)
            relays << *t.relays;
        if (t.address)
            combo = *t.address;
        if (t.receiveRewritten)
            box = waiting;
        return t;
    }
    // Ticks until a relay state was applied; gives the number of ticks taken.
    int ticksUntilRelays(int limit)
    {
        const int before = relays.size();
        for (int i = 1; i <= limit; ++i) {
            tick();
            if (relays.size() > before)
                return i;
        }
        return -1;
    }
};
} // namespace

TEST(ReplyParser, WorkedAnswersAreAppliedAndConsumed)
{
    Board b;
    b.receive(QStringLiteral("2101015ADA73"));
    ReplyTick t = b.tick();
    ASSERT_TRUE(t.relays);
    EXPECT_EQ(*t.relays, 0x5A); // Y01, Y03, Y04, Y06 on
    EXPECT_FALSE(t.inputs);
    EXPECT_TRUE(t.receiveRewritten);
    EXPECT_EQ(b.waiting, "");
    EXPECT_EQ(b.box, "");

    b.receive(QStringLiteral("210201816A28"));
    t = b.tick();
    ASSERT_TRUE(t.inputs);
    EXPECT_EQ(*t.inputs, 0x81); // X00 and X07 on
    EXPECT_FALSE(t.relays);
    EXPECT_EQ(b.waiting, "");

    // Nothing waiting: nothing happens.
    t = b.tick();
    EXPECT_FALSE(t.inputs || t.relays || t.address || t.receiveRewritten);
}

TEST(ReplyParser, SearchAnswerSetsAddressOnEveryTickWhileItWaits)
{
    Board b;
    b.combo = "";
    b.receive(QStringLiteral("003400"));
    b.tick();
    EXPECT_EQ(b.combo, ""); // fewer than 12 characters: not looked at
    b.receive(QStringLiteral("2181F2"));
    for (int i = 0; i < 3; ++i) {
        b.combo = "7";
        const ReplyTick t = b.tick();
        ASSERT_TRUE(t.address) << "tick " << i;
        EXPECT_EQ(*t.address, "33");
        EXPECT_FALSE(t.receiveRewritten);
        EXPECT_EQ(b.waiting, "0034002181F2");
    }
    // A different board: the address without leading zeros.
    Board c;
    c.receive(search(0x05));
    EXPECT_EQ(c.tick().address.value_or(""), "5");
    Board z;
    z.receive(search(0x00));
    EXPECT_EQ(z.tick().address.value_or("x"), "0");
}

TEST(ReplyParser, OtherAddressWaitsThenIsTrimmedOnePerTickBeforeTheNextAnswer)
{
    Board b;
    b.receive(relays(0x22, 0x5A));
    for (int i = 0; i < 20; ++i)
        b.tick();
    EXPECT_EQ(b.waiting, relays(0x22, 0x5A)); // 12 characters never trimmed
    EXPECT_TRUE(b.relays.isEmpty());

    b.receive(relays(0x21, 0x0F));
    for (int i = 1; i <= 12; ++i) {
        b.tick();
        EXPECT_EQ(b.waiting.size(), 24 - i);
        EXPECT_EQ(b.box, b.waiting);
        EXPECT_TRUE(b.relays.isEmpty()) << "tick " << i;
    }
    b.tick(); // the 13th tick after its arrival
    EXPECT_EQ(b.relays, QList<uint8_t>{0x0F});
    EXPECT_EQ(b.waiting, "");
}

TEST(ReplyParser, OrderOfAnswersWithinOneTick)
{
    Board rel;
    rel.receive(relays(0x21, 0x01) + inputs(0x21, 0x02));
    rel.tick();
    EXPECT_EQ(rel.relays, QList<uint8_t>{0x01});
    EXPECT_TRUE(rel.inputs.isEmpty()); // recognisable at the head: not trimmed
    EXPECT_EQ(rel.waiting, inputs(0x21, 0x02));
    rel.tick();
    EXPECT_EQ(rel.inputs, QList<uint8_t>{0x02});

    Board in;
    in.receive(inputs(0x21, 0x02) + relays(0x21, 0x01));
    in.tick();
    EXPECT_EQ(in.inputs, QList<uint8_t>{0x02});
    EXPECT_EQ(in.relays, QList<uint8_t>{0x01});
    EXPECT_EQ(in.waiting, "");

    Board three;
    three.receive(relays(0x21, 1) + relays(0x21, 2) + relays(0x21, 3));
    for (int i = 0; i < 3; ++i)
        three.tick();
    EXPECT_EQ(three.relays, (QList<uint8_t>{1, 2, 3}));
    EXPECT_EQ(three.waiting, "");
}

TEST(ReplyParser, SearchStepLooksAtTheBoxAsTheTickLeftIt)
{
    // The input answer is removed first; the box then begins with the search answer.
    Board b;
    b.combo = "33";
    b.receive(inputs(0x21, 0x80) + search(0x07));
    const ReplyTick t = b.tick();
    EXPECT_EQ(b.inputs, QList<uint8_t>{0x80});
    EXPECT_EQ(t.address.value_or(""), "7");

    // The address set by the search step is the one the trimming step compares with.
    Board c;
    c.combo = "34";
    c.waiting = relays(0x21, 0x55) + "00";
    c.box = search(0x21);
    c.tick();
    EXPECT_EQ(c.combo, "33");
    EXPECT_EQ(c.waiting, relays(0x21, 0x55) + "00"); // not trimmed: it now matches
    c.tick();
    EXPECT_EQ(c.relays, QList<uint8_t>{0x55});
}

TEST(ReplyParser, ShortTextWaitsAndPiecesAreJoined)
{
    Board b;
    b.receive(QStringLiteral("12345678901"));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(b.tick().receiveRewritten);
    EXPECT_EQ(b.waiting, "12345678901");

    Board p;
    const QString a = relays(0x21, 0xA5);
    p.receive(a.left(5));
    p.tick();
    p.receive(a.mid(5));
    p.tick();
    EXPECT_EQ(p.relays, QList<uint8_t>{0xA5});
}

TEST(ReplyParser, MisalignedHeadIsDroppedLikeAnyOtherText)
{
    Board b;
    b.receive(QStringLiteral("A") + relays(0x21, 0x11) + "0");
    b.tick(); // the odd character goes; the answer is now at the head
    EXPECT_TRUE(b.relays.isEmpty());
    b.tick();
    EXPECT_EQ(b.relays, QList<uint8_t>{0x11});
}

TEST(ReplyParser, WrongCrcIsUnrecognisedText)
{
    Board b;
    b.receive(QStringLiteral("2101015ADA74")); // last CRC digit wrong
    b.tick();
    EXPECT_TRUE(b.relays.isEmpty());
    EXPECT_EQ(b.waiting.size(), 12); // waits like other 12-character text
    b.receive(QStringLiteral("0"));
    b.tick();
    EXPECT_EQ(b.waiting, "101015ADA740"); // trimmed, not applied
    EXPECT_TRUE(b.relays.isEmpty());

    Board in;
    in.receive(QStringLiteral("210201816B28") + "00");
    in.tick();
    EXPECT_TRUE(in.inputs.isEmpty());
    EXPECT_EQ(in.waiting.size(), 13);

    // A corrupted answer in front of a good one: the good one follows.
    Board g;
    g.receive(QStringLiteral("2101015ADA00") + relays(0x21, 0x3C));
    EXPECT_EQ(g.ticksUntilRelays(40), 13);
    EXPECT_EQ(g.relays, QList<uint8_t>{0x3C});

    Board s;
    s.combo = "9";
    s.receive(QStringLiteral("0034002181F3"));
    EXPECT_FALSE(s.tick().address);
    EXPECT_EQ(s.combo, "9");
    s.box = QStringLiteral("0034002G81F2"); // not hexadecimal
    EXPECT_FALSE(s.tick().address);
}

TEST(ReplyParser, AddressBoxThatIsNotANumberMatchesNothing)
{
    for (const char *text : {"", "abc", "3 3", "300", "-1", "33x"}) {
        Board b;
        b.combo = QString::fromLatin1(text);
        b.receive(relays(0x21, 0x5A) + inputs(0x21, 0x01) + "0");
        for (int i = 0; i < 3; ++i)
            b.tick();
        EXPECT_TRUE(b.relays.isEmpty()) << text;
        EXPECT_TRUE(b.inputs.isEmpty()) << text;
        EXPECT_EQ(b.waiting.size(), 25 - 3) << text; // trimmed one per tick
    }
    Board zero;
    zero.combo = "0";
    zero.receive(relays(0x00, 0x81));
    zero.tick();
    EXPECT_EQ(zero.relays, QList<uint8_t>{0x81});
}

TEST(ReplyParser, ShortSearchTextInTheBoxDoesNothing)
{
    for (const char *head : {"003400", "0034002", "00340021", "0034002181F"}) {
        Board b;
        b.combo = "12";
        b.waiting = QStringLiteral("FFFFFFFFFFFF");
        b.box = QString::fromLatin1(head);
        const ReplyTick t = b.tick();
        EXPECT_FALSE(t.address) << head;
        EXPECT_FALSE(t.receiveRewritten) << head;
        EXPECT_EQ(b.combo, "12");
    }
}

TEST(ReplyParser, BacklogUpTo512CharactersIsTrimmedOnePerTick)
{
    Board b;
    b.receive(QString(500, QLatin1Char('F')) + relays(0x21, 0x42));
    ASSERT_EQ(b.waiting.size(), 512);
    EXPECT_EQ(b.ticksUntilRelays(1000), 501);
    EXPECT_EQ(b.waiting, "");
}

TEST(ReplyParser, LongBacklogIsCutToTheNextAnswer)
{
    Board b;
    b.receive(QString(600, QLatin1Char('F')) + inputs(0x22, 1) + relays(0x21, 0x42) + "FFFF");
    b.tick();
    EXPECT_EQ(b.waiting, relays(0x21, 0x42) + "FFFF"); // the other address is not a stop
    b.tick();
    EXPECT_EQ(b.relays, QList<uint8_t>{0x42});
    EXPECT_EQ(b.waiting, "FFFF");

    // A search answer inside the backlog is a stop too; it then sets the address.
    Board s;
    s.receive(QString(601, QLatin1Char('7')) + search(0x21) + QString(600, QLatin1Char('7')));
    s.combo = "1";
    s.tick();
    EXPECT_TRUE(s.waiting.startsWith(search(0x21)));
    EXPECT_EQ(s.tick().address.value_or(""), "33");
    EXPECT_FALSE(s.waiting.startsWith(search(0x21)));
}

TEST(ReplyParser, BacklogCutPassesNearMissesAndFindsAnswersAtAnyPlace)
{
    // Many look-alikes: answers with a wrong CRC, other addresses and
    // search answers with a wrong CRC, before an answer at an odd place.
    QString flood = QStringLiteral("F");
    for (int i = 0; i < 200; ++i) {
        QString badRelays = relays(0x21, uint8_t(i));
        badRelays[10] = badRelays[10] == u'0' ? u'1' : u'0';
        QString badSearch = search(uint8_t(i));
        badSearch[11] = badSearch[11] == u'0' ? u'1' : u'0';
        flood += badRelays + inputs(0x22, uint8_t(i)) + badSearch + QStringLiteral("0101");
    }
    Board b;
    b.receive(flood + inputs(0x21, 0x5A) + search(0x07));
    b.tick();
    EXPECT_EQ(b.waiting, inputs(0x21, 0x5A) + search(0x07));
    b.tick();
    EXPECT_EQ(b.inputs, QList<uint8_t>{0x5A});

    // A search answer found before a state answer further on.
    Board s;
    s.receive(QString(700, QLatin1Char('9')) + search(0x05) + relays(0x21, 0x01));
    s.tick();
    EXPECT_TRUE(s.waiting.startsWith(search(0x05)));
}

TEST(ReplyParser, FloodOfOneMegabyteStaysBoundedAndAnAnswerFollowsAtOnce)
{
    Board b;
    // Unrelated bytes, as hexadecimal text, in chunks of 1 KB with ticks between.
    QString chunk;
    for (int i = 0; i < 1024; ++i)
        chunk += QStringLiteral("%1").arg((i * 37 + 11) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    qsizetype longest = 0;
    for (int n = 0; n < 1024; ++n) {
        b.receive(chunk);
        b.tick();
        longest = qMax(longest, b.waiting.size());
        ASSERT_LE(b.waiting.size(), ReplyParser::kAnswerLength - 1) << "chunk " << n;
        ASSERT_EQ(b.box, b.waiting);
    }
    EXPECT_TRUE(b.relays.isEmpty() && b.inputs.isEmpty());

    b.receive(relays(0x21, 0x99));
    EXPECT_LE(b.ticksUntilRelays(3), 2);
    EXPECT_EQ(b.relays, QList<uint8_t>{0x99});

    // All of it at once, with an answer at the very end.
    Board once;
    once.receive(QString(2 * 1024 * 1024, QLatin1Char('E')) + inputs(0x21, 0x03));
    once.tick();
    EXPECT_EQ(once.waiting, inputs(0x21, 0x03));
    once.tick();
    EXPECT_EQ(once.inputs, QList<uint8_t>{0x03});

    // The start of an answer still arriving survives the cut.
    Board part;
    const QString a = relays(0x21, 0x24);
    part.receive(QString(1000, QLatin1Char('F')) + a.left(9));
    part.tick();
    EXPECT_EQ(part.waiting, a.left(9));
    part.receive(a.mid(9));
    EXPECT_EQ(part.ticksUntilRelays(3), 1);

    // Junk at the end of the flood does not hold up the next answer.
    Board tail;
    tail.receive(QString(1000, QLatin1Char('0')) + QStringLiteral("ABCDEF12345"));
    tail.tick();
    EXPECT_EQ(tail.waiting, "");
    tail.receive(inputs(0x21, 0x10));
    tail.tick();
    EXPECT_EQ(tail.inputs, QList<uint8_t>{0x10});
}

TEST(ReplyParser, HugeBacklogOfValidAnswersKeepsTheNewest)
{
    Board b;
    QString text;
    for (int i = 0; i < 2000; ++i)
        text += relays(0x21, uint8_t(i));
    b.receive(text);
    b.tick();
    EXPECT_LE(b.waiting.size(), ReplyParser::kBacklogLimit);
    EXPECT_TRUE(b.waiting.endsWith(relays(0x21, uint8_t(1999))));
    for (int i = 0; i < 60; ++i)
        b.tick();
    EXPECT_EQ(b.waiting, "");
    EXPECT_EQ(b.relays.last(), uint8_t(1999));
}

// Found by fuzzing: answers each behind a stray byte, arriving faster than
// the ticks take them away (one answer and one stray byte per tick), grew
// the backlog without end, since the hard limit applied only to a backlog
// with an answer at its head.
TEST(ReplyParser, StreamOfAnswersBehindStrayBytesStaysBounded)
{
    Board b;
    const QString unit = QStringLiteral("55") + relays(0x21, 0x5A);
    for (int i = 0; i < 3000; ++i) {
        b.receive(unit + unit + unit); // faster than one answer per tick
        b.tick();
        ASSERT_LE(b.waiting.size(), ReplyParser::kHardLimit) << i;
    }
    // When the stream stops, the newest answer is applied.
    b.receive(relays(0x21, 0x77));
    for (int i = 0; i < 2000 && !b.waiting.isEmpty(); ++i)
        b.tick();
    EXPECT_EQ(b.relays.last(), 0x77);
}

