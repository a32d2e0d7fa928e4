// Program files: what is read, what is refused (with its line), and that
// writing and reading give back the same program.
#include "logic/programfile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace programfile;

namespace {

Result parseText(const char *text)
{
    return parse(QByteArray(text));
}

Program sample()
{
    Program p;
    p.steps[0] = LogicStep{1, 0x03, 0x00, 0x01};
    p.steps[1] = LogicStep{2, 0x00, 0x0C, 0x06};
    p.steps[7] = LogicStep{8, 0x80, 0x01, 0x80};
    p.names[0] = QStringLiteral("启动按钮");
    p.names[3] = QString();                   // given, but empty: "X03:" as the caption
    p.names[8] = QStringLiteral("  Pump # 1 "); // spaces and '#' kept as typed
    p.names[15] = QStringLiteral("Alarm = on");
    return p;
}

} // namespace

TEST(ProgramFile, ReadsStepsNamesCommentsAndLineEnds)
{
    const Result r = parseText("kestrune-program 1\r\n"
                               "# a comment\r\n"
                               "\r\n"
                               "step 2  and X00 x01  or -  out Y03   # trailing comment\r\n"
                               "  STEP 5 AND - OR X07 X06 OUT y00 Y07\n"
                               "name Y03 = Pump\n"
                               "name X00=Start\n");
    ASSERT_TRUE(r.ok()) << r.error.text().toStdString();
    const Program &p = r.program;
    EXPECT_EQ(p.steps[1].stepNo, 2);
    EXPECT_EQ(p.steps[1].andMask, 0x03);
    EXPECT_EQ(p.steps[1].orMask, 0x00);
    EXPECT_EQ(p.steps[1].outMask, 0x08);
    EXPECT_EQ(p.steps[4].orMask, 0xC0);
    EXPECT_EQ(p.steps[4].outMask, 0x81);
    // Steps not given are empty, with their numbers.
    EXPECT_EQ(p.steps[0].stepNo, 1);
    EXPECT_EQ(p.steps[0].andMask | p.steps[0].orMask | p.steps[0].outMask, 0);
    EXPECT_EQ(p.names[11], QStringLiteral("Pump"));
    EXPECT_EQ(p.names[0], QStringLiteral("Start"));
    EXPECT_FALSE(p.names[1].has_value());
    EXPECT_EQ(p.nameCount(), 2);

    // A UTF-8 byte order mark in front of the header is allowed.
    EXPECT_TRUE(parse(QByteArray("\xEF\xBB\xBF" "kestrune-program 1\n")).ok());
}

TEST(ProgramFile, RefusesEachFaultWithItsLine)
{
    struct Case
    {
        const char *text;
        Problem problem;
        int line;
        const char *word;
    };
    const Case cases[] = {
        {"", Problem::NoHeader, 1, ""},
        {"# comment first\nkestrune-program 1\n", Problem::NoHeader, 1, ""},
        {"kestrune-program 2\n", Problem::NewerVersion, 1, ""},
        {"kestrune-program 1\n\nsteps 1 and - or - out -\n", Problem::UnknownWord, 3, "steps"},
        {"kestrune-program 1\nstep 1 and X08 or - out -\n", Problem::UnknownWord, 2, "X08"},
        {"kestrune-program 1\nstep 1 and Y00 or - out -\n", Problem::UnknownWord, 2, "Y00"},
        {"kestrune-program 1\nstep 1 and - or - out X00\n", Problem::UnknownWord, 2, "X00"},
        {"kestrune-program 1\nstep 1 and - X00 or - out -\n", Problem::UnknownWord, 2, "X00"},
        {"kestrune-program 1\nstep 1 or - and - out -\n", Problem::UnknownWord, 2, "or"},
        {"kestrune-program 1\nstep one and - or - out -\n", Problem::UnknownWord, 2, "one"},
        {"kestrune-program 1\nstep 1 and - or -\n", Problem::MissingGroup, 2, "out"},
        {"kestrune-program 1\nstep 1 and or - out -\n", Problem::MissingGroup, 2, "and"},
        {"kestrune-program 1\nstep 0 and - or - out -\n", Problem::StepOutOfRange, 2, "0"},
        {"kestrune-program 1\nstep 9 and - or - out -\n", Problem::StepOutOfRange, 2, "9"},
        {"kestrune-program 1\nstep 3 and - or - out -\n#\nstep 3 and X01 or - out -\n", Problem::StepTwice, 4, "3"},
        {"kestrune-program 1\nstep 1 and X02 X02 or - out -\n", Problem::TwiceInGroup, 2, "X02"},
        {"kestrune-program 1\nstep 1 and X00 X05 or X05 out -\n", Problem::AndAndOr, 2, "X05"},
        {"kestrune-program 1\nstep 1 and - or - out Y02\nstep 6 and - or - out Y01 Y02\n", Problem::OutputTwice, 3, "Y02"},
        {"kestrune-program 1\nname X00 = a\nname x00 = b\n", Problem::NameTwice, 3, "X00"},
        {"kestrune-program 1\nname Z00 = a\n", Problem::UnknownWord, 2, "Z00"},
        {"kestrune-program 1\nname X00 Pump\n", Problem::UnknownWord, 2, "Pump"},
        {"kestrune-program 1\nstep 1 and - or - out -\n\xC3\x28\n", Problem::NotUtf8, 3, ""},
    };
    for (const Case &c : cases) {
        const Result r = parseText(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error.problem, c.problem) << r.error.text().toStdString();
        EXPECT_EQ(r.error.line, c.line);
        if (*c.word) {
            EXPECT_EQ(r.error.word, QString::fromUtf8(c.word));
        }
        EXPECT_TRUE(r.error.text().startsWith(QStringLiteral("line %1: ").arg(c.line))) << r.error.text().toStdString();
        EXPECT_TRUE(r.error.textZh().startsWith(QStringLiteral("第%1行：").arg(c.line)));
    }
    // The step that already holds the output is named.
    const Result twice = parseText("kestrune-program 1\nstep 1 and - or - out Y02\nstep 6 and - or - out Y02\n");
    EXPECT_EQ(twice.error.other, 1);
}

TEST(ProgramFile, RefusesFilesOver64KbWithTheLineWhereTheyCrossIt)
{
    QByteArray text("kestrune-program 1\n");
    while (text.size() <= kMaxBytes)
        text += "# padding padding padding padding padding padding padding padding\n";
    const Result r = parse(text);
    EXPECT_EQ(r.error.problem, Problem::TooLarge);
    EXPECT_EQ(r.error.line, text.left(kMaxBytes).count('\n') + 1);

    // Exactly 64 KB is still read.
    QByteArray exact("kestrune-program 1\n");
    exact += QByteArray(kMaxBytes - exact.size() - 1, ' ') + '\n';
    EXPECT_TRUE(parse(exact).ok());

    // load() reads no more than it needs to refuse.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.kprog"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text + QByteArray(1 << 20, '#'));
    f.close();
    EXPECT_EQ(load(path).error.problem, Problem::TooLarge);
    EXPECT_EQ(load(dir.filePath(QStringLiteral("missing.kprog"))).error.problem, Problem::ReadError);
}

TEST(ProgramFile, SaveThenLoadGivesBackTheSameProgram)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.kprog"));
    const Program p = sample();
    ASSERT_FALSE(checkRules(p));
    ASSERT_FALSE(save(path, p)) << save(path, p).text().toStdString();
    const Result r = load(path);
    ASSERT_TRUE(r.ok()) << r.error.text().toStdString();
    EXPECT_TRUE(r.program == p);

    // Formatting what was read gives the same bytes: the format is canonical.
    QByteArray first, second;
    ASSERT_FALSE(format(p, &first));
    ASSERT_FALSE(format(r.program, &second));
    EXPECT_EQ(first, second);
    EXPECT_TRUE(first.startsWith("kestrune-program 1\n"));
    EXPECT_TRUE(first.contains("step 1  and X00 X01  or -  out Y00\n"));

    // An empty program round-trips too, with no name lines.
    ASSERT_FALSE(save(path, Program()));
    EXPECT_TRUE(load(path).program == Program());
    EXPECT_EQ(load(path).program.nameCount(), 0);
}

TEST(ProgramFile, WritingIsWholeOrNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.kprog"));
    ASSERT_FALSE(save(path, sample()));
    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    // A name that cannot be written refuses the whole file; the old one stays.
    Program bad = sample();
    bad.names[2] = QStringLiteral("two\nlines");
    const Error e = save(path, bad);
    EXPECT_EQ(e.problem, Problem::NameLineBreak);
    EXPECT_EQ(e.word, QStringLiteral("X02"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);

    // A folder that does not exist: an error, no file.
    EXPECT_EQ(save(dir.filePath(QStringLiteral("no/such/folder/p.kprog")), sample()).problem, Problem::WriteError);
}

TEST(ProgramFile, RulesOfTheGridOnABuiltProgram)
{
    Program p;
    p.steps[2].andMask = 0x10;
    p.steps[2].orMask = 0x10;
    EXPECT_EQ(checkRules(p).problem, Problem::AndAndOr);
    Program q;
    q.steps[0].outMask = 0x04;
    q.steps[4].outMask = 0x04;
    const Error e = checkRules(q);
    EXPECT_EQ(e.problem, Problem::OutputTwice);
    EXPECT_EQ(e.word, QStringLiteral("Y02"));
    EXPECT_EQ(e.other, 1);
}

// Found by fuzzing: files that were read but could not be written again.
TEST(ProgramFile, WhatIsReadCanBeWrittenAndReadAgain)
{
    // A CR inside a name line (the line's own CR LF end is fine).
    const Result cr = parseText("kestrune-program 1\nname X00 = a\r\nname X01 = Dog\rr close\n");
    EXPECT_EQ(cr.error.problem, Problem::NameLineBreak);
    EXPECT_EQ(cr.error.line, 3);
    EXPECT_EQ(cr.error.word, QStringLiteral("X01"));

    // A file just under 64 KB whose rewritten text (comment and eight step
    // lines added) would go beyond it: the writer refuses instead of leaving
    // a file that reading refuses.
    QByteArray big("kestrune-program 1\nname X00 =");
    big += QByteArray(kMaxBytes - big.size() - 1, 'n') + '\n';
    const Result r = parse(big);
    ASSERT_TRUE(r.ok());
    QByteArray out;
    EXPECT_EQ(format(r.program, &out).problem, Problem::TooLarge);
    QTemporaryDir dir;
    EXPECT_EQ(save(dir.filePath(QStringLiteral("big.kprog")), r.program).problem, Problem::TooLarge);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("big.kprog"))));
}
