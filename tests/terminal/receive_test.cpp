#include "terminal/gbk.h"
#include "controls.h"
#include "protocol/crc.h"
#include "relayfixture.h"
#include "board/devicestate.h"
#include "terminal/receiveformat.h"
#include "timing.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTimer>

namespace {
QByteArray answerBytes(uint8_t a, uint8_t f, uint8_t count, uint8_t d)
{
    QByteArray b;
    b.append(char(a)).append(char(f)).append(char(count)).append(char(d));
    const uint16_t crc = ModbusCrc16(reinterpret_cast<const uint8_t *>(b.constData()), 4);
    b.append(char(crc & 0xFF)).append(char(crc >> 8));
    return b;
}

class Receive : public RelayFixture
{
protected:
    void SetUp() override
    {
        start();
        ASSERT_TRUE(port->portOpen());
        // The test drives the parser ticks itself.
        control<QTimer>(w.get(), QStringLiteral("Timer2"))->stop();
    }
    // The box as it stands once the received text waiting for it is in.
    QString box() { return w->receivePane()->receiveBoxText(); }
    QTextCursor caret()
    {
        w->receivePane()->flushReceiveBox();
        return control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"))->textCursor();
    }
    // The RX box follows the reads at frame rate: its text once it shows the total.
    QString rx() const
    {
        auto *box = control<QLineEdit>(w.get(), QStringLiteral("TxtRXCount"));
        // The caller compares the text; a box that never caught up shows in that.
        (void)QTest::qWaitFor([&] { return box->text() == w->counters()->rxText(); }, 2000);
        return box->text();
    }
    // The window shown wide enough that the receive box is in view and painted.
    void showReceiveBox()
    {
        w->resize(1800, 700);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    void textMode() { control<QCheckBox>(w.get(), QStringLiteral("ChkHexReceive"))->setChecked(false); }
};
} // namespace

TEST_F(Receive, ControlsAreInTheParkedAreaWithTheirCaptions)
{
    EXPECT_EQ(control<QLabel>(w.get(), "LblReceive")->text(), "接收区");
    EXPECT_EQ(control<QLabel>(w.get(), "Label10")->text(), "十六进制显示");
    EXPECT_EQ(control<QLabel>(w.get(), "LblArtoclear")->text(), "自动清空");
    EXPECT_TRUE(control<QCheckBox>(w.get(), "ChkHexReceive")->isChecked());
    EXPECT_FALSE(control<QCheckBox>(w.get(), "ChkAutoClear")->isChecked());
    EXPECT_EQ(control<QPushButton>(w.get(), "CmdStopdisp")->text(), "停止显示");
    EXPECT_EQ(control<QPushButton>(w.get(), "CmdClearReceive")->text(), "清空接收区");
    for (const char *name : {"LblReceive", "TxtReceive", "ChkHexReceive", "Label10", "ChkAutoClear", "LblArtoclear",
                             "CmdStopdisp", "CmdClearReceive"}) {
        QWidget *c = control<QWidget>(w.get(), name);
        ASSERT_TRUE(c) << name;
        EXPECT_GE(c->x(), 1340) << name;
        EXPECT_LE(c->geometry().right(), 1800) << name;
        EXPECT_LE(c->geometry().bottom(), 290) << name;
    }
    EXPECT_EQ(box(), "");
}

TEST_F(Receive, HexChunksGoToTheBoxAndTempstatusWithoutSeparators)
{
    port->receive(QByteArray::fromHex("000a10ff"));
    EXPECT_EQ(box(), "000A10FF");
    EXPECT_EQ(w->replies()->tempstatus, "000A10FF");
    EXPECT_EQ(rx(), "RX:4");

    port->receive(QByteArray::fromHex("0102"));
    port->receive(QByteArray::fromHex("03"));
    EXPECT_EQ(w->replies()->tempstatus, "000A10FF010203");
    EXPECT_EQ(box(), "000A10FF010203");
    EXPECT_EQ(w->counters()->RxTotal(), 7);

    // An event that finds nothing waiting changes no text and shows the same total.
    control<QLineEdit>(w.get(), QStringLiteral("TxtRXCount"))->setText("x");
    w->receivePane()->ReceiveHex();
    EXPECT_EQ(w->replies()->tempstatus, "000A10FF010203");
    EXPECT_EQ(rx(), "RX:7");
}

TEST_F(Receive, HexAppendLeavesTheCaretWhereItWas)
{
    port->receive(QByteArray::fromHex("0102"));
    QTextCursor c = caret();
    c.setPosition(1);
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"))->setTextCursor(c);
    port->receive(QByteArray::fromHex("0304"));
    EXPECT_EQ(caret().position(), 1);

    // Even a caret at the very end stays there rather than following the text.
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"))->moveCursor(QTextCursor::End);
    port->receive(QByteArray::fromHex("05"));
    EXPECT_EQ(caret().position(), 8);
    EXPECT_EQ(box(), "0102030405");
}

TEST_F(Receive, TextModeDecodesGbkAcrossEventsAndLeavesTempstatusAlone)
{
    textMode();
    const QByteArray bytes = gbk::encode(QStringLiteral("继电器ok"));
    ASSERT_EQ(bytes.size(), 8);
    port->receive(bytes.left(3)); // splits the second character
    port->receive(bytes.mid(3));
    EXPECT_EQ(box(), QStringLiteral("继电器ok"));
    EXPECT_EQ(w->replies()->tempstatus, "");
    EXPECT_EQ(rx(), "RX:8");
    EXPECT_EQ(caret().position(), box().size()); // shows the end

    // Switching to hex mode at run time: the bytes are shown as hexadecimal.
    control<QCheckBox>(w.get(), QStringLiteral("ChkHexReceive"))->setChecked(true);
    port->receive("AB");
    EXPECT_TRUE(box().endsWith("4142"));
    EXPECT_EQ(w->replies()->tempstatus, "4142");
}

TEST_F(Receive, StopDisplayHoldsTextModeOnly)
{
    QPushButton *stop = control<QPushButton>(w.get(), QStringLiteral("CmdStopdisp"));
    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_TRUE(w->receivePane()->DisplayStopped);
    EXPECT_EQ(stop->text(), "继续显示");

    textMode();
    port->receive("hello");
    EXPECT_EQ(box(), "");
    EXPECT_EQ(rx(), "RX:5");

    control<QCheckBox>(w.get(), QStringLiteral("ChkHexReceive"))->setChecked(true);
    port->receive("\x10");
    EXPECT_EQ(box(), "10");

    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_FALSE(w->receivePane()->DisplayStopped);
    EXPECT_EQ(stop->text(), "停止显示");
    textMode();
    port->receive("x");
    EXPECT_EQ(box(), "10x");
}

TEST_F(Receive, AutoClearEmptiesTheBoxFromTheTotalOf65535On)
{
    control<QCheckBox>(w.get(), QStringLiteral("ChkAutoClear"))->setChecked(true);
    port->receive(QByteArray(65534, '\x01'));
    EXPECT_EQ(box().size(), 2 * 65534);
    port->receive("\x02");
    EXPECT_EQ(box(), "");
    EXPECT_EQ(w->replies()->tempstatus.size(), 2 * 65535); // not consumed, not cleared
    port->receive("\x03");
    EXPECT_EQ(box(), "");
    EXPECT_TRUE(w->replies()->tempstatus.endsWith("0203"));

    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdClearCounter")), Qt::LeftButton);
    port->receive("\x04");
    EXPECT_EQ(box(), "04");
}

TEST_F(Receive, ClearReceiveEmptiesOnlyTheBoxAndCountersReset)
{
    port->receive(QByteArray(300, '\x11'));
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdClearReceive")), Qt::LeftButton);
    EXPECT_EQ(box(), "");
    port->receive("\x22");
    EXPECT_EQ(box(), "22");
    EXPECT_EQ(w->replies()->tempstatus.size(), 602);
    EXPECT_EQ(rx(), "RX:301");

    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdClearCounter")), Qt::LeftButton);
    EXPECT_EQ(rx(), "RX:0");
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtTXCount"))->text(), "TX:0");
    port->receive("12345");
    EXPECT_EQ(rx(), "RX:5");
}

TEST_F(Receive, CountersAre64Bit)
{
    w->counters()->addReceived(2147483647);
    port->receive("ab");
    EXPECT_EQ(rx(), "RX:2147483649");
}

TEST_F(Receive, UnderAStreamTheRxCounterIsShownAboutTenTimesASecondAndEndsOnTheTotal)
{
    showReceiveBox();
    auto *counter = control<QLineEdit>(w.get(), QStringLiteral("TxtRXCount"));
    int shown = 0;
    QObject::connect(counter, &QLineEdit::textChanged, [&] { ++shown; });
    // A byte every 5 ms for 600 ms, as a 115200-baud line brings it.
    QElapsedTimer clock;
    clock.start();
    QTimer line;
    QObject::connect(&line, &QTimer::timeout, [&] { port->receive("\x5A"); });
    line.start(5);
    QTest::qWait(600);
    line.stop();
    const qint64 window = clock.elapsed();
    // Each showing after the first comes at least two frames after the one
    // before (one more is allowed for a TX change of the start-up).
    EXPECT_LE(shown, 2 + int(window / (timing::kCounterFrame - timing::kDisplayFrame)));
    EXPECT_EQ(rx(), w->counters()->rxText());
    EXPECT_GT(w->counters()->RxTotal(), 0);
}

TEST_F(Receive, UnderAStreamTheBoxTakesTextInFramesAtLeastAStreamFrameApartAndEndsWithAllOfIt)
{
    showReceiveBox();
    textMode();
    auto *edit = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"));
    int frames = 0;
    QObject::connect(edit->document(), &QTextDocument::contentsChange, [&] { ++frames; });
    // A short line every 5 ms for 600 ms, as a 115200-baud line brings it.
    QElapsedTimer clock;
    clock.start();
    QByteArray sent;
    QTimer line;
    QObject::connect(&line, &QTimer::timeout, [&] {
        const QByteArray piece = QByteArray::number(sent.size()) + "\r\n";
        sent += piece;
        port->receive(piece);
    });
    line.start(5);
    QTest::qWait(600);
    line.stop();
    const qint64 window = clock.elapsed();
    EXPECT_GE(frames, 2);
    EXPECT_LE(frames, 1 + int(window / timing::kStreamFrame));
    sent.replace("\r\n", "\n");
    EXPECT_EQ(box(), QString::fromLatin1(sent));
}

TEST_F(Receive, ParserTicksSetTheAddressAndRewriteTheBox)
{
    port->receive(QByteArray::fromHex("0034000581f2") /* wrong CRC for 05 */);
    w->replies()->Timer2_Timer();
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");

    port->receive(QByteArray(1, '\0')); // one more byte: the bad answer is trimmed
    w->replies()->Timer2_Timer();
    EXPECT_EQ(w->replies()->tempstatus, "034000581F200");
    EXPECT_EQ(box(), w->replies()->tempstatus);
    for (int i = 0; i < 5; ++i)
        w->replies()->Timer2_Timer();
    EXPECT_EQ(w->replies()->tempstatus.size(), 12);

    // Drop the stale text, then the worked search answer.
    w->replies()->tempstatus.clear();
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdClearReceive")), Qt::LeftButton);
    port->receive(QByteArray::fromHex("0034002181F2"));
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText("7");
    w->replies()->Timer2_Timer();
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText("8");
    w->replies()->Timer2_Timer();
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33"); // again on every tick

    port->receive(answerBytes(0x21, 0x01, 0x01, 0x5A));
    w->replies()->Timer2_Timer(); // the search answer is seen once more, then loses its first character
    EXPECT_EQ(w->replies()->tempstatus.size(), 23);
    EXPECT_EQ(box(), w->replies()->tempstatus);
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");
}

TEST_F(Receive, RelayAnswerIsConsumedAndTheBoxEmptied)
{
    port->receive(QByteArray::fromHex("2101015ADA73"));
    EXPECT_EQ(box(), "2101015ADA73");
    w->replies()->Timer2_Timer();
    EXPECT_EQ(w->replies()->tempstatus, "");
    EXPECT_EQ(box(), "");

    // Nothing is recognised from data received in text mode.
    textMode();
    port->receive(QByteArray::fromHex("2101015ADA73"));
    w->replies()->Timer2_Timer();
    EXPECT_EQ(w->replies()->tempstatus, "");
    EXPECT_FALSE(box().isEmpty());
}

TEST_F(Receive, FloodOfOneMegabyteStaysBoundedAndTheNextAnswerIsTakenAtOnce)
{
    QByteArray chunk(1024, '\0');
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char((i * 53 + 7) & 0xFF);
    qsizetype longest = 0;
    for (int n = 0; n < 1024; ++n) {
        port->receive(chunk);
        w->replies()->Timer2_Timer();
        longest = qMax<qsizetype>(longest, qMax(w->replies()->tempstatus.size(), qsizetype(box().size())));
    }
    EXPECT_LE(longest, 11);
    EXPECT_EQ(w->counters()->RxTotal(), 1024 * 1024);

    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText("5");
    port->receive(answerBytes(0x00, 0x34, 0x00, 0x21));
    w->replies()->Timer2_Timer();
    w->replies()->Timer2_Timer();
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), "33");
}

TEST_F(Receive, TextModeBoxKeepsOnlyTheNewestText)
{
    textMode();
    const QByteArray line = QByteArray(99, 'x') + '\n';
    for (int n = 0; n < 12000; ++n)
        port->receive(line); // 1.2 million characters in all
    const QString text = box();
    EXPECT_LE(text.size(), receive::kBoxLimit);
    EXPECT_GE(text.size(), receive::kBoxKeep);
    EXPECT_TRUE(text.endsWith(QString(99, 'x') + '\n'));
    EXPECT_EQ(w->counters()->RxTotal(), 1200000);
}

TEST_F(Receive, TimerTicksRunOnTheirOwn)
{
    control<QTimer>(w.get(), QStringLiteral("Timer2"))->start();
    port->receive(QByteArray::fromHex("0034002181F2"));
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText("1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText() == "33"; }, 2000));
}

TEST_F(Receive, ReceivedTextReachesTheBoxByItselfAndAClearDropsWhatWaits)
{
    showReceiveBox();
    port->receive(QByteArray::fromHex("0102"));
    port->receive(QByteArray::fromHex("03"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"))->toPlainText() == QLatin1String("010203"); }, 1000));

    // Cleared before the waiting text went in: it never shows up.
    port->receive(QByteArray::fromHex("04"));
    control<QPushButton>(w.get(), QStringLiteral("CmdClearReceive"))->click();
    QTest::qWait(60);
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"))->toPlainText(), "");
    EXPECT_EQ(w->replies()->tempstatus, "01020304");
}

TEST_F(Receive, AFastHexStreamGoesIntoTheBoxPieceByPieceAndWhole)
{
    showReceiveBox();
    QByteArray bytes(10000, '\x5A');
    bytes[0] = '\x01';
    port->receive(bytes);
    EXPECT_EQ(w->replies()->tempstatus.size(), 20000);
    EXPECT_EQ(w->counters()->RxTotal(), 10000);
    // The timed updates put it in a limited piece at a time...
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"))->document()->isEmpty(); }, 1000));
    EXPECT_LE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"))->document()->characterCount() - 1, receive::kHexUpdateLimit);
    // ...until all of it is there, in order.
    EXPECT_TRUE(QTest::qWaitFor([&] { return control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"))->document()->characterCount() - 1 == 20000; }, 2000));
    const QString shown = box();
    EXPECT_TRUE(shown == w->replies()->tempstatus);
    EXPECT_TRUE(shown.startsWith(QLatin1String("015A5A")));

    // Text goes in whole.
    textMode();
    w->receivePane()->CmdClearReceive_Click();
    port->receive(QByteArray(100000, 'x'));
    EXPECT_EQ(box().size(), 100000);
}

TEST_F(Receive, ATickThatTheEventLoopHeldBackRunsFromTheReceivePath)
{
    control<QTimer>(w.get(), QStringLiteral("Timer2"))->start();
    QTest::qWait(30); // a tick has run
    w->statusWindows()->ShowDeviceStatus();
    // The event loop is held up, as by a stream that keeps it busy: the
    // timer cannot fire, yet the answer is applied with its arrival.
    QThread::msleep(60);
    port->receive(answerBytes(0x21, 0x01, 0x01, 0x5A));
    ASSERT_TRUE(w->statusWindows()->currentDeviceState());
    EXPECT_TRUE(w->statusWindows()->currentDeviceState()->lamp(1));
    EXPECT_TRUE(w->statusWindows()->currentDeviceState()->lamp(6));
    EXPECT_EQ(w->replies()->tempstatus, "");
}

TEST_F(Receive, ABoxOutOfViewIsNotUpdatedAndShowsTheWholeTextInItsFirstFrameInView)
{
    // As the window opens, the terminal group lies right of its width.
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    auto *edit = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"));
    auto *frame = control<QTimer>(w.get(), QStringLiteral("receiveFrame"));
    ASSERT_TRUE(frame);
    int frames = 0;
    QObject::connect(frame, &QTimer::timeout, [&] { ++frames; });
    QByteArray bytes(10000, '\x5A');
    bytes[0] = '\x01';
    port->receive(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames > 0; }, 2000));
    EXPECT_TRUE(edit->document()->isEmpty());
    EXPECT_EQ(w->receivePane()->receiveBoxHead(6), "015A5A"); // the parser still sees the box's text

    // Widened: the first paint of the box shows all of it, not a piece.
    int paints = 0;
    struct PaintCounter : QObject
    {
        int *n;
        explicit PaintCounter(int *count) : n(count) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                ++*n;
            return false;
        }
    } counter(&paints);
    edit->viewport()->installEventFilter(&counter);
    w->resize(1800, 700);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paints > 0; }, 2000));
    EXPECT_EQ(edit->document()->characterCount() - 1, 20000);
    EXPECT_EQ(edit->toPlainText(), w->replies()->tempstatus);

    // The parser's rewrite keeps box and parser text the same.
    port->receive(QByteArray(1, '\0'));
    w->replies()->Timer2_Timer();
    EXPECT_EQ(box(), w->replies()->tempstatus);
}

TEST_F(Receive, TheClockIsRunFromTheReceivePathWhenItsTimerIsHeldBack)
{
    auto *clock = control<QLabel>(w.get(), QStringLiteral("LblNowTime"));
    const QString before = clock->text();
    // The event loop is held up past the shown second, as by a stream that
    // keeps it busy.
    QThread::msleep(1100);
    port->receive("\x01");
    EXPECT_NE(clock->text(), before);
}

TEST_F(Receive, ABoxInsideAScrollAreaFollowsWhenItIsScrolledIntoView)
{
    QScrollArea area;
    area.resize(1000, 720);
    w->resize(1800, 700);
    area.setWidget(w.get());
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    auto *edit = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"));
    auto *frame = control<QTimer>(w.get(), QStringLiteral("receiveFrame"));
    int frames = 0;
    QObject::connect(frame, &QTimer::timeout, [&] { ++frames; });
    port->receive(QByteArray::fromHex("0102030405"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames > 0; }, 2000));
    EXPECT_TRUE(edit->document()->isEmpty());

    area.horizontalScrollBar()->setValue(area.horizontalScrollBar()->maximum());
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit->toPlainText() == QLatin1String("0102030405"); }, 2000));
    area.takeWidget()->setParent(nullptr);
}

TEST_F(Receive, CrLfLinesKeepTheBoxAndItsTextAlignedAcrossDropsAndSplitReads)
{
    showReceiveBox();
    textMode();
    // A line break split between two reads is one line break, as in one read.
    port->receive("a\r");
    w->receivePane()->flushReceiveBox();
    port->receive("\nb\r\n");
    EXPECT_EQ(box(), "a\nb\n");

    // Hours of CR LF lines: the box keeps its size and shows the newest text.
    w->receivePane()->CmdClearReceive_Click();
    QByteArray chunk;
    for (int n = 0; n < 100; ++n)
        chunk += QByteArray(78, char('A' + n % 26)) + "\r\n";
    for (int n = 0; n < 600; ++n) // 4.8 MB: several drops of the box's head
        port->receive(chunk);
    const QString text = box();
    EXPECT_GE(text.size(), receive::kBoxKeep * 79 / 80);
    EXPECT_LE(text.size(), receive::kBoxLimit);
    EXPECT_TRUE(text.endsWith(QString(78, QChar('A' + 99 % 26)) + '\n'));
    EXPECT_EQ(text, w->receivePane()->receiveBoxHead(receive::kBoxLimit));
}

TEST_F(Receive, TextTypedIntoTheBoxIsPartOfItsTextAndTheHeadRunsOnIntoWaitingText)
{
    showReceiveBox();
    auto *edit = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"));
    port->receive(QByteArray::fromHex("0102"));
    w->receivePane()->flushReceiveBox();
    edit->moveCursor(QTextCursor::End);
    QTest::keyClicks(edit, QStringLiteral("ZZ"));
    port->receive(QByteArray::fromHex("03")); // waits for the next frame
    EXPECT_EQ(w->receivePane()->receiveBoxHead(8), "0102ZZ03");
    EXPECT_EQ(box(), "0102ZZ03");

    // The parser's rewrite with text that is not the box's end replaces it whole.
    w->replies()->tempstatus = QStringLiteral("FFFFFF") + w->replies()->tempstatus;
    port->receive(QByteArray(1, '\0'));
    w->replies()->Timer2_Timer();
    EXPECT_EQ(box(), w->replies()->tempstatus);
}

TEST_F(Receive, ABoxThatGoesOutOfViewKeepsTheNewestTextAcrossWhatItShowedAndWhatWaits)
{
    showReceiveBox();
    textMode();
    auto line = [](int n) { return QByteArray::number(n).rightJustified(9, '0') + '\n'; };
    QByteArray shown, hidden;
    for (int n = 0; n < 50000; ++n)
        shown += line(n);
    for (int n = 50000; n < 130000; ++n)
        hidden += line(n);
    port->receive(shown); // 500K characters in the box
    w->receivePane()->flushReceiveBox();
    w->resize(1000, 700); // the terminal group is out of view
    QTest::qWait(100);
    port->receive(hidden); // 800K more: more than the box showed must go
    w->resize(1800, 700);
    const QString all = QString::fromLatin1(shown + hidden);
    auto *edit = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit->document()->characterCount() - 1 == receive::kBoxKeep; }, 2000));
    EXPECT_EQ(box(), all.right(receive::kBoxKeep));
}

TEST_F(Receive, AFastStreamsLinesShareParagraphsYetReadAndCopyAsTheSameLines)
{
    showReceiveBox();
    textMode();
    auto *edit = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"));
    auto lines = [](int from, int size, QByteArray &received, QString &shown) {
        for (int n = from; shown.size() < size; ++n) {
            const QByteArray line = QByteArray::number(n) + ' ' + QByteArray(70, char('a' + n % 26));
            received += line + "\r\n";
            shown += QString::fromLatin1(line) + '\n';
        }
    };
    // A flood's read: the box in view takes it at once.
    QByteArray burst;
    QString text;
    lines(0, receive::kTextUpdateLimit + 1000, burst, text);
    port->receive(burst);
    QTextDocument *doc = edit->document();
    EXPECT_EQ(doc->characterCount() - 1, text.size());
    EXPECT_LT(doc->blockCount(), int(text.count(u'\n')) / 4);
    EXPECT_EQ(box(), text);
    EXPECT_EQ(w->receivePane()->receiveBoxHead(100), text.left(100));
    // Its last lines are paragraphs of their own.
    EXPECT_EQ(doc->lastBlock().previous().text() + '\n', text.mid(text.lastIndexOf(u'\n', -2) + 1));
    // A selection is copied with its lines as LF, as the box shows them.
    edit->selectAll();
    edit->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text);

    // A slow stream's lines, and those of a box brought up to date, are a paragraph each.
    int blocks = doc->blockCount();
    port->receive("one\r\ntwo\r\n");
    text += "one\ntwo\n";
    EXPECT_EQ(box(), text);
    EXPECT_EQ(doc->blockCount(), blocks + 2);
    QByteArray waiting;
    QString more;
    lines(0, receive::kGroupedUpdate + 1000, waiting, more);
    blocks = doc->blockCount();
    port->receive(waiting);
    EXPECT_EQ(box(), text + more);
    EXPECT_EQ(doc->blockCount(), blocks + more.count(u'\n'));
}

TEST_F(Receive, ATripleClickSelectsOneLineAlsoWhereAStreamsLinesShareAParagraph)
{
    showReceiveBox();
    textMode();
    auto *edit = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"));
    QByteArray burst;
    QList<QString> sent;
    for (int n = 0; burst.size() - n < receive::kTextUpdateLimit + 1000; ++n) {
        sent << QString::number(n) + ' ' + QString(40, QChar('a' + n % 26));
        burst += sent.last().toLatin1() + "\r\n";
    }
    port->receive(burst);
    ASSERT_TRUE(edit->document()->firstBlock().text().contains(QChar(QChar::LineSeparator)));

    auto tripleClickOn = [&](int line) {
        const int at = int(box().indexOf(sent[line] + '\n')) + 3;
        QTextCursor c(edit->document());
        c.setPosition(at);
        edit->setTextCursor(c); // scrolls the line into view
        const QPoint point = edit->cursorRect(c).center();
        QTest::mouseDClick(edit->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseClick(edit->viewport(), Qt::LeftButton, {}, point);
        return edit->textCursor().selection().toPlainText();
    };
    // A line inside a shared paragraph, one at the paragraph's start, and one
    // of the last lines (a paragraph of its own, selected as the box does).
    EXPECT_EQ(tripleClickOn(2), sent[2] + '\n');
    EXPECT_EQ(tripleClickOn(0), sent[0] + '\n');
    EXPECT_EQ(tripleClickOn(int(sent.size()) - 2), sent[sent.size() - 2] + '\n');
    EXPECT_EQ(box().size(), burst.size() - sent.size()); // nothing typed or lost
}

TEST_F(Receive, ScrollingUpThroughAFastStreamsLinesGoesOneLineAStep)
{
    showReceiveBox();
    textMode();
    auto *edit = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtReceive"));
    QByteArray burst;
    QStringList sent;
    for (int n = 0; burst.size() - n < receive::kTextUpdateLimit + 1000; ++n) {
        sent << QString::number(n) + ' ' + QString(30, QChar('a' + n % 26)); // shorter than the box is wide
        burst += sent.last().toLatin1() + "\r\n";
    }
    port->receive(burst);
    ASSERT_TRUE(edit->document()->firstBlock().text().contains(QChar(QChar::LineSeparator)));
    QCoreApplication::processEvents();
    // The line at the top of the view, by its number.
    auto topLine = [&] { return int(box().left(edit->cursorForPosition(QPoint(1, 1)).position()).count(u'\n')); };
    int top = topLine();
    for (int step = 0; step < 60; ++step) {
        edit->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        const int now = topLine();
        EXPECT_EQ(now, top - 1) << "step " << step;
        top = now;
    }
}

TEST(ReceiveBoxPicture, LinesThatShareAParagraphLookAsLinesOfTheirOwn)
{
    QString text;
    for (int n = 0; n < 200; ++n)
        text += QString::number(n) + ' ' + QString(20 + n % 70, QChar('a' + n % 26)) + '\n';
    QString grouped = text;
    receive::groupLines(grouped, receive::kLineGroup);
    ASSERT_TRUE(grouped.contains(QChar(QChar::LineSeparator)));
    auto picture = [](const QString &shown, int scrollTo) {
        QPlainTextEdit edit;
        edit.setWordWrapMode(QTextOption::WrapAnywhere);
        edit.resize(450, 200);
        edit.setPlainText(shown);
        edit.show();
        QTextCursor c(edit.document());
        c.setPosition(scrollTo);
        edit.setTextCursor(c);
        edit.centerCursor();
        return edit.viewport()->grab().toImage();
    };
    for (const int at : {0, int(text.size()) / 3, int(text.size())})
        EXPECT_EQ(picture(grouped, at), picture(text, at)) << "at " << at;
    EXPECT_NE(picture(text, 0), picture(text, int(text.size()))); // the pictures show the text
}
