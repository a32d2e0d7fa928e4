// The RTU layer: the framer on byte tables with times, and the client's
// answer matching on the fake port with a scripted board.
#include "fakeserialport.h"

#include "protocol/frames.h"
#include "protocol/rtuclient.h"
#include "protocol/rtuframer.h"

#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}

QByteArray withCrc(const char *text)
{
    return frames::closeFrame(hex(text));
}

QByteArray corrupt(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
    return frame;
}

QString show(const QList<RtuFrame> &frames)
{
    QStringList out;
    for (const RtuFrame &f : frames) {
        const char *kind = f.kind == RtuFrame::Frame ? "F" : f.kind == RtuFrame::BadCrc ? "C" : "N";
        out << QStringLiteral("%1:%2").arg(QLatin1String(kind), QString::fromLatin1(f.bytes.toHex()));
    }
    return out.join(QLatin1Char(' '));
}

const QByteArray kRelays33 = hex("2101015ADA73"); // relay states 0x5A from address 33

} // namespace

// ---------------------------------------------------------------- framer

TEST(RtuFramer, FrameGapIsThreeAndAHalfCharacters)
{
    EXPECT_EQ(RtuFramer::frameGapUs(9600, 10), 3646);
    EXPECT_EQ(RtuFramer::frameGapUs(19200, 11), 2006);
    EXPECT_EQ(RtuFramer::frameGapUs(38400, 10), 1750);
    EXPECT_EQ(RtuFramer::transmitUs(8, 9600, 10), 8334);
}

TEST(RtuFramer, SplitsByLengthAndReportsNoise)
{
    struct Case
    {
        const char *name;
        QList<QByteArray> chunks; // fed 1 ms apart
        QString expected;         // after the last chunk and the silence behind it
    };
    const QByteArray search = withCrc("00340021");
    const QByteArray exception = withCrc("218102");
    const QByteArray request = withCrc("210100000008");
    const QByteArray step = withCrc("211000770003050101000100");
    const Case cases[] = {
        {"one answer", {kRelays33}, "F:2101015ada73"},
        {"split inside the gap", {kRelays33.left(2), kRelays33.mid(2)}, "F:2101015ada73"},
        {"noise in front", {hex("1377") + kRelays33}, "N:1377 F:2101015ada73"},
        {"two answers at once", {kRelays33 + withCrc("21020181")}, "F:2101015ada73 F:" + QString::fromLatin1(withCrc("21020181").toHex())},
        {"search answer", {search}, "F:" + QString::fromLatin1(search.toHex())},
        {"exception answer", {exception}, "F:" + QString::fromLatin1(exception.toHex())},
        {"a request on the line", {request}, "F:" + QString::fromLatin1(request.toHex())},
        {"a program step", {step}, "F:" + QString::fromLatin1(step.toHex())},
        {"garbled answer, nothing expected", {corrupt(kRelays33)}, "N:" + QString::fromLatin1(corrupt(kRelays33).toHex())},
        {"a lone partial frame", {kRelays33.left(4)}, "N:2101015a"},
        {"text around an answer", {QByteArray("ab\r\n") + kRelays33 + "4x"}, "N:6162" "0d0a F:2101015ada73 N:34 N:78"},
        {"an answer right after one byte of text", {"!" + search}, "N:21 F:" + QString::fromLatin1(search.toHex())},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RtuFramer framer(3646);
        QList<RtuFrame> got;
        qint64 t = 0;
        for (const QByteArray &chunk : c.chunks) {
            got += framer.feed(chunk, t);
            t += 1000;
        }
        got += framer.silence(t);
        EXPECT_EQ(show(got), c.expected);
        EXPECT_EQ(framer.pending(), 0);
    }
}

TEST(RtuFramer, AGapEndsAPartialFrame)
{
    RtuFramer framer(3646);
    EXPECT_TRUE(framer.feed(kRelays33.left(3), 0).isEmpty()); // waits for the rest
    // 10 ms later the rest cannot belong to the same frame.
    const QList<RtuFrame> got = framer.feed(kRelays33.mid(3), 10000);
    ASSERT_FALSE(got.isEmpty());
    EXPECT_EQ(show(got.mid(0, 1)), QStringLiteral("N:210101"));
    EXPECT_EQ(show(framer.silence(20000)), QStringLiteral("N:") + QString::fromLatin1(kRelays33.mid(3).toHex()));

    // The same bytes within 3 ms are one frame.
    RtuFramer close(3646);
    close.feed(kRelays33.left(3), 0);
    EXPECT_EQ(show(close.feed(kRelays33.mid(3), 3000)), QStringLiteral("F:2101015ada73"));
}

TEST(RtuFramer, AGarbledExpectedAnswerIsACrcErrorNotNoise)
{
    RtuFramer framer;
    framer.expect(0x21, 0x01, 6);
    EXPECT_EQ(show(framer.feed(hex("99") + corrupt(kRelays33), 0)),
              QStringLiteral("N:99 C:") + QString::fromLatin1(corrupt(kRelays33).toHex()));
    // A garbled exception answer is five bytes long.
    EXPECT_EQ(show(framer.feed(corrupt(withCrc("218102")), 100)),
              QStringLiteral("C:") + QString::fromLatin1(corrupt(withCrc("218102")).toHex()));

    // Found by fuzzing: an expected length too short for any frame made
    // single bytes "garbled answers"; it expects nothing, the bytes are noise.
    RtuFramer shortLength;
    shortLength.expect(0x21, 0x01, 1);
    EXPECT_EQ(show(shortLength.feed(hex("2101"), 0)), QString());
    EXPECT_EQ(show(shortLength.silence(10000)), QStringLiteral("N:2101"));
}

TEST(RtuFramer, DescribesFrames)
{
    EXPECT_EQ(describeRtuFrame(kRelays33), QStringLiteral("relay states 0x5A, address 33"));
    EXPECT_EQ(describeRtuFrame(frames::ReadInputsFrame(33)), QStringLiteral("read inputs, address 33"));
    EXPECT_EQ(describeRtuFrame(withCrc("00340021")), QStringLiteral("search answer: address 33"));
    EXPECT_EQ(describeRtuFrame(withCrc("218102")), QStringLiteral("exception 02 to function 01, address 33"));
    EXPECT_EQ(describeRtuFrame(frames::SearchFrame()), QStringLiteral("search"));
}

// ---------------------------------------------------------------- client

namespace {

// The fake port with a board behind it: answer(request) is sent back from
// the event loop after each write; an empty answer sends nothing.
class ClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port.setCommPort(1);
        port.setRThreshold(1);
        ASSERT_TRUE(port.setPortOpen(true));
        client.attachReceive();
        client.setTimeoutMs(30);
        client.setRetries(2);
        QObject::connect(&port, &SerialPort::bytesWritten, &port, [this] {
            const QByteArray request = port.writes.last().bytes;
            const QByteArray a = answer ? answer(request) : QByteArray();
            if (!a.isEmpty())
                QTimer::singleShot(0, &port, [this, a] { port.receive(a); });
        });
    }

    RtuResult run(const RtuRequest &request)
    {
        RtuReply *reply = client.send(request);
        EXPECT_FALSE(reply->isFinished()); // never finished within send()
        QSignalSpy spy(reply, &RtuReply::finished);
        EXPECT_TRUE(spy.wait(5000));
        EXPECT_EQ(spy.count(), 1);
        const RtuResult r = reply->result();
        delete reply;
        return r;
    }

    FakeSerialPort port;
    RtuClient client{&port};
    std::function<QByteArray(const QByteArray &)> answer;
};

} // namespace

TEST_F(ClientTest, MatchesTheAnswerAndSkipsReportsNoiseAndOtherAddresses)
{
    answer = [](const QByteArray &) {
        // An input report, noise and an answer from address 5 come first.
        return withCrc("21020181") + hex("77") + withCrc("05010100") + kRelays33;
    };
    const RtuResult r = run(RtuRequest::readRelays(33));
    EXPECT_EQ(r.status, RtuResult::Ok);
    EXPECT_EQ(r.value, 0x5A);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(r.unexpected.size(), 2);
    EXPECT_EQ(r.noiseBytes, 1);
    EXPECT_EQ(port.writes.size(), 1);
    EXPECT_EQ(port.writes[0].bytes, frames::ReadRelaysFrame(33));

    answer = [](const QByteArray &) { return withCrc("00340007"); };
    const RtuResult s = run(RtuRequest::search());
    EXPECT_TRUE(s.ok());
    EXPECT_EQ(s.value, 7);
}

TEST_F(ClientTest, EchoesAreChecked)
{
    answer = [](const QByteArray &rq) { return rq; };
    EXPECT_TRUE(run(RtuRequest::reset(33)).ok());
    EXPECT_TRUE(run(RtuRequest::inputReport(33, true)).ok());

    answer = [](const QByteArray &rq) { return frames::closeFrame(rq.left(6)); };
    EXPECT_TRUE(run(RtuRequest::writeRelays(33, 0xFF)).ok());
    EXPECT_TRUE(run(RtuRequest::step(33, LogicStep{3, 1, 2, 4})).ok());

    // An echo of another register is a wrong answer, and is not tried again.
    answer = [](const QByteArray &) { return withCrc("210600690000"); };
    const RtuResult r = run(RtuRequest::reset(33));
    EXPECT_EQ(r.status, RtuResult::BadAnswer);
    EXPECT_EQ(r.attempts, 1);
}

TEST_F(ClientTest, ExceptionsEndTheRequestWithTheirCode)
{
    answer = [](const QByteArray &) { return withCrc("218102"); };
    const RtuResult r = run(RtuRequest::readRelays(33));
    EXPECT_EQ(r.status, RtuResult::Exception);
    EXPECT_EQ(r.exceptionCode, 2);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_TRUE(r.text().contains(QStringLiteral("illegal data address")));
}

TEST_F(ClientTest, SilenceIsTriedAgainThenNoAnswer)
{
    client.setRetries(2);
    answer = [](const QByteArray &) { return withCrc("05010100"); }; // only address 5 answers
    const RtuResult r = run(RtuRequest::readRelays(33));
    EXPECT_EQ(r.status, RtuResult::NoAnswer);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_EQ(port.writes.size(), 3);
    EXPECT_TRUE(r.text().contains(QStringLiteral("address 5 answered instead"))) << r.text().toStdString();
    // Each try waited its timeout: a lower bound only.
    EXPECT_GE(port.writes[2].ms - port.writes[0].ms, 2 * 30);
}

TEST_F(ClientTest, GarbledAnswersAreTriedAgainThenReportedAsCrcErrors)
{
    int n = 0;
    answer = [&n](const QByteArray &) { return ++n < 3 ? corrupt(kRelays33) : QByteArray(); };
    const RtuResult r = run(RtuRequest::readRelays(33));
    // Two garbled answers and a silent last try: the garbling is what is reported.
    EXPECT_EQ(r.status, RtuResult::CrcError);
    EXPECT_EQ(r.crcErrors, 2);
    EXPECT_EQ(r.attempts, 3);

    n = 0;
    answer = [&n](const QByteArray &) { return ++n == 1 ? corrupt(kRelays33) : kRelays33; };
    const RtuResult ok = run(RtuRequest::readRelays(33));
    EXPECT_TRUE(ok.ok());
    EXPECT_EQ(ok.attempts, 2);
}

TEST_F(ClientTest, AnAnswerSplitByAGapIsNoAnswer)
{
    // The clock is the test's: the two halves arrive 10 ms apart.
    qint64 now = 0;
    client.setClock([&now] { return now; });
    client.setRetries(0);
    client.setTimeoutMs(200);
    answer = [this, &now](const QByteArray &) {
        QTimer::singleShot(0, &port, [this, &now] {
            port.receive(kRelays33.left(3));
            now += 10000;
            port.receive(kRelays33.mid(3));
        });
        return QByteArray();
    };
    const RtuResult r = run(RtuRequest::readRelays(33));
    EXPECT_EQ(r.status, RtuResult::NoAnswer);
    EXPECT_EQ(r.noiseBytes, 6);
}

TEST_F(ClientTest, RequestsQueueAndPortFailuresEndEveryOneOnce)
{
    answer = [](const QByteArray &rq) {
        return uint8_t(rq.at(1)) == 0x01 ? kRelays33 : withCrc("21020181");
    };
    RtuReply *a = client.send(RtuRequest::readRelays(33));
    RtuReply *b = client.send(RtuRequest::readInputs(33));
    QSignalSpy spyB(b, &RtuReply::finished);
    ASSERT_TRUE(spyB.wait(5000));
    EXPECT_TRUE(a->isFinished());
    EXPECT_EQ(a->result().value, 0x5A);
    EXPECT_EQ(b->result().value, 0x81);
    // The second request went out only after the first was answered.
    ASSERT_EQ(port.writes.size(), 2);
    EXPECT_EQ(port.writes[1].bytes, frames::ReadInputsFrame(33));
    delete a;
    delete b;

    // The port is lost while a request waits and another is queued.
    answer = nullptr;
    client.setTimeoutMs(5000);
    RtuReply *c = client.send(RtuRequest::readRelays(33));
    RtuReply *d = client.send(RtuRequest::readRelays(33));
    QSignalSpy spyC(c, &RtuReply::finished), spyD(d, &RtuReply::finished);
    QTimer::singleShot(10, &port, [this] { port.lose(); });
    ASSERT_TRUE(spyD.wait(5000));
    EXPECT_EQ(spyC.count(), 1);
    EXPECT_EQ(spyD.count(), 1);
    EXPECT_EQ(c->result().status, RtuResult::PortError);
    EXPECT_EQ(d->result().status, RtuResult::PortError);
    EXPECT_EQ(port.writes.size(), 3); // the queued one never went out
    delete c;
    delete d;

    // A closed port: the failure still comes through finished().
    const RtuResult closed = run(RtuRequest::readRelays(33));
    EXPECT_EQ(closed.status, RtuResult::PortError);
}

TEST_F(ClientTest, BroadcastsWithoutAnswerEndAfterThePause)
{
    client.setBroadcastPauseMs(20);
    const RtuResult r = run(RtuRequest::setAddress(7));
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(port.writes.size(), 1);
    EXPECT_EQ(port.writes[0].bytes, frames::SetAddressFrame(7));
}
