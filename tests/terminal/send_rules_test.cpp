// The terminal's text rules without any widget: the send box's typing, hex
// sending, text mapping and period, and the line breaks of received text.
#include "qtprint.h"

#include "terminal/gbk.h"
#include "terminal/receiveformat.h"
#include "terminal/sendbox.h"

#include <gtest/gtest.h>

using namespace sendbox;

namespace {
constexpr char16_t BS = kBackspace;
constexpr char16_t CR = kEnter;

KeyAction act(int line, int col, char16_t ch)
{
    return keyPress(line, col, ch).action;
}
} // namespace

TEST(SendBoxRule, LineTwoTakesDigitsOnlyAndBackspaceStopsAtThePrefix)
{
    EXPECT_EQ(act(2, 4, u'7'), KeyAction::Accept);
    EXPECT_EQ(act(2, 3, u'0'), KeyAction::Accept);
    for (char16_t c : {u'x', u'S', u':', u' ', CR, u'-'})
        EXPECT_EQ(act(2, 4, c), KeyAction::Refuse) << int(c);
    // The backquote and a..i (codes 96 to 105) are refused as well.
    for (char16_t c = 96; c <= 105; ++c)
        EXPECT_EQ(act(2, 4, c), KeyAction::Refuse) << int(c);
    // Three characters before the caret: backspace erases the first digit.
    EXPECT_EQ(act(2, 4, BS), KeyAction::Accept);
    // Right after "S:", and anywhere before, backspace is refused.
    EXPECT_EQ(act(2, 3, BS), KeyAction::Refuse);
    EXPECT_EQ(act(2, 1, BS), KeyAction::Refuse);
}

TEST(SendBoxRule, ChannelLinesTakeLAndMInEitherCaseAndProtectTheirHead)
{
    for (int line : {3, 5, 23, 25}) {
        const KeyDecision m = keyPress(line, 7, u'm');
        EXPECT_EQ(m.action, KeyAction::Convert);
        EXPECT_EQ(m.ch, u'M');
        const KeyDecision l = keyPress(line, 7, u'l');
        EXPECT_EQ(l.action, KeyAction::Convert);
        EXPECT_EQ(l.ch, u'L');
        EXPECT_EQ(act(line, 7, u'M'), KeyAction::Accept);
        EXPECT_EQ(act(line, 7, u'L'), KeyAction::Accept);
        for (char16_t c : {u'x', u'E', u'H', u'1', u':', CR, u' ', char16_t(22)})
            EXPECT_EQ(act(line, 7, c), KeyAction::Refuse) << line << ' ' << int(c);
    }
    // After "H01:" (four characters before the caret) backspace is refused;
    // one letter further on it erases that letter.
    EXPECT_EQ(act(3, 5, BS), KeyAction::Refuse);
    EXPECT_EQ(act(3, 1, BS), KeyAction::Refuse);
    EXPECT_EQ(act(3, 6, BS), KeyAction::Accept);
}

TEST(SendBoxRule, LineOneIsFreeUpToFiftyCharactersThenEveryKeyWarns)
{
    for (char16_t c : {u'a', u'孔', CR, BS, u' ', u'7'})
        EXPECT_EQ(act(1, 50, c), KeyAction::Accept) << int(c);
    for (char16_t c : {u'a', u'孔', CR, BS})
        EXPECT_EQ(act(1, 51, c), KeyAction::Warn) << int(c);
    // The limit holds on every line, whatever the other rules say.
    EXPECT_EQ(act(2, 51, u'7'), KeyAction::Warn);
    EXPECT_EQ(act(2, 60, u'x'), KeyAction::Warn);
    EXPECT_EQ(act(4, 51, u'm'), KeyAction::Warn);
    EXPECT_EQ(act(4, 51, u'x'), KeyAction::Warn);
    EXPECT_EQ(act(4, 50, u'm'), KeyAction::Convert);
}

TEST(SendBoxText, InitialPatternIs24LinesEndedByCrLfIn188GbkBytes)
{
    const QString t = boxText(initialPlainText());
    EXPECT_EQ(gbk::encode(t).size(), 188);
    EXPECT_TRUE(t.startsWith(QStringLiteral("孔雀开屏\r\nS:300\r\nH01:ML\r\nH02:ML\r\n")));
    EXPECT_TRUE(t.endsWith(QStringLiteral("H21:ML\r\nE\r\n")));
    EXPECT_EQ(t.count(QStringLiteral("\r\n")), 24);
    EXPECT_EQ(t.count(QLatin1Char('\n')), 24);
    EXPECT_TRUE(boxText(QString()).isEmpty());
    // Whatever line breaks the box holds, they come out as CR LF.
    EXPECT_EQ(boxText(QStringLiteral("a\nb\r\nc") + QChar(QChar::ParagraphSeparator)),
              QStringLiteral("a\r\nb\r\nc\r\n"));
}

TEST(SendBoxHex, LeadingHexRunInPairs)
{
    EXPECT_EQ(hexBytes(QStringLiteral("01 02 ff")), QByteArray::fromHex("0102ff"));
    EXPECT_EQ(hexBytes(QStringLiteral("010")), QByteArray::fromHex("01"));
    EXPECT_EQ(hexBytes(QStringLiteral("0102\r\n03")), QByteArray::fromHex("0102"));
    EXPECT_EQ(hexBytes(QStringLiteral("  a b c d e")), QByteArray::fromHex("abcd"));
    // Only U+0020 is removed: a tab ends the run.
    EXPECT_EQ(hexBytes(QStringLiteral("01\t02")), QByteArray::fromHex("01"));
    EXPECT_TRUE(hexBytes(QStringLiteral("0g12")).isEmpty());
    EXPECT_TRUE(hexBytes(boxText(initialPlainText())).isEmpty());
    EXPECT_TRUE(hexBytes(QString()).isEmpty());
}

TEST(SendBoxPeriod, LeadingNumberAsWholeMilliseconds)
{
    EXPECT_EQ(periodMilliseconds(QStringLiteral("1000")), 1000);
    EXPECT_EQ(periodMilliseconds(QStringLiteral("250ms")), 250);
    EXPECT_EQ(periodMilliseconds(QStringLiteral("abc250")), 0);
    EXPECT_EQ(periodMilliseconds(QString()), 0);
    EXPECT_EQ(periodMilliseconds(QStringLiteral("12.5")), 12);
    EXPECT_EQ(periodMilliseconds(QStringLiteral("-5")), -1);
    EXPECT_EQ(periodMilliseconds(QStringLiteral("99999999999")), -1);
}

TEST(ReceiveLineBreaks, CrLfAndLoneCrBecomeOneLfAlsoWhenThePairIsSplit)
{
    const auto join = [](const char *piece, bool &cr) {
        QString text = QString::fromLatin1(piece);
        receive::joinCrLf(text, cr);
        return text;
    };
    bool cr = false;
    EXPECT_EQ(join("ab", cr), "ab");
    EXPECT_EQ(join("a\r\nb\rc\r\r\nd\n", cr), "a\nb\nc\n\nd\n");
    EXPECT_FALSE(cr);
    EXPECT_EQ(join("x\r", cr), "x\n");
    EXPECT_TRUE(cr);
    EXPECT_EQ(join("\ny\r", cr), "y\n");
    EXPECT_EQ(join("\r", cr), "\n"); // a CR after a CR is a line break of its own
    EXPECT_EQ(join("\n", cr), "");
    EXPECT_FALSE(cr);
    EXPECT_EQ(join("\n", cr), "\n");
}

TEST(ReceiveLineBreaks, LongTextsShareParagraphsAndReadBackAsTheSameLines)
{
    const QChar sep(QChar::LineSeparator);
    auto grouped = [](QString text, int group) {
        receive::groupLines(text, group);
        return text;
    };
    // Lines of 4 characters in groups of 10: a paragraph ends after the first
    // line that reaches 10 characters from its start; the lines within 10
    // characters of the last break keep theirs, and so does the last.
    const QString lines = QStringLiteral("aaa\nbbb\nccc\nddd\neee\nfff\nggg\nhhh\nii");
    const QString g = grouped(lines, 10);
    EXPECT_EQ(g, QStringLiteral("aaa%1bbb%1ccc\nddd%1eee%1fff\nggg\nhhh\nii").arg(sep));
    QString back = g;
    back.replace(sep, QLatin1Char('\n'));
    EXPECT_EQ(back, lines);

    // A line longer than a group is a paragraph of its own; a text with all
    // its breaks in the tail, or none, stays as it is.
    EXPECT_EQ(grouped(QStringLiteral("a\n%1\nb\n%2\nc\n").arg(QString(30, 'x'), QString(30, 'y')), 10),
              QStringLiteral("a%1%2\nb%1%3\nc\n").arg(sep).arg(QString(30, 'x'), QString(30, 'y')));
    EXPECT_EQ(grouped(QStringLiteral("a\nb\nc\n"), 10), QStringLiteral("a\nb\nc\n"));
    EXPECT_EQ(grouped(QString(50, 'z'), 10), QString(50, 'z'));
    EXPECT_EQ(grouped(QStringLiteral("\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n"), 2).count(u'\n'), 7);
}
