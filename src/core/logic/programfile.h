#pragma once

#include "logic/logicstep.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// Program files (.kprog): the eight steps of the logic program and,
// optionally, the names of the sixteen inputs and outputs, as UTF-8 text that
// people can read, write and diff:
//
//   kestrune-program 1
//   # comment
//   step 1  and X00 X01  or -  out Y00
//   name X00 = Start button
//
// The first line names the format and its version. Blank lines and lines
// starting with '#' are skipped; on step lines '#' starts a comment. A step
// line lists its AND inputs, OR inputs and outputs by name, '-' for none.
// Steps not given are empty. A name line holds the rest of the line after
// "= " as the name, verbatim.
//
// Reading checks the whole file before anything is handed out, with the same
// rules as the step grid: an input in only one group of a step, an output in
// at most one step.
namespace programfile {

constexpr int kVersion = 1;
constexpr qint64 kMaxBytes = 64 * 1024;
inline constexpr char kSuffix[] = "kprog";

struct Program
{
    std::array<LogicStep, 8> steps{};
    // names[0..7] inputs X00..X07, names[8..15] outputs Y00..Y07; a name that
    // is not given keeps the plain caption.
    std::array<std::optional<QString>, 16> names{};

    Program();
    bool operator==(const Program &o) const;
    bool operator!=(const Program &o) const { return !(*this == o); }
    int nameCount() const;
};

enum class Problem {
    None,
    TooLarge,        // over kMaxBytes
    NotUtf8,         // bytes that are not UTF-8
    NoHeader,        // the first line is not "kestrune-program N"
    NewerVersion,    // a version this program does not read
    UnknownWord,     // a word that has no place where it stands
    StepOutOfRange,  // a step number outside 1..8
    StepTwice,       // a step given twice
    MissingGroup,    // a step line without its and/or/out group
    TwiceInGroup,    // the same input or output twice in one group
    AndAndOr,        // an input in both the AND and the OR group of one step
    OutputTwice,     // an output used by two steps
    NameTwice,       // a name given twice
    NameLineBreak,   // a name holding a line break (a CR inside a name line)
    ReadError,       // the file cannot be read
    WriteError,      // the file cannot be written
};

struct Error
{
    Problem problem = Problem::None;
    int line = 0;    // 1-based line of the file; 0 when the file as a whole
    QString word;    // the word or name concerned
    int other = 0;   // the other line or step concerned, or the version found
    QString system;  // the operating system's reason (read/write errors)

    explicit operator bool() const { return problem != Problem::None; }
    // "line 4: unknown word "X9"" and the like.
    QString text() const;
    // The same in Chinese, for the window.
    QString textZh() const;
};

struct Result
{
    Program program;
    Error error;
    bool ok() const { return !error; }
};

// Parses a whole file.
Result parse(const QByteArray &bytes);
// Reads and parses a file; at most kMaxBytes + 1 bytes are read.
Result load(const QString &path);

// The file's text, one line per step, then the names that are given.
// Fails (NameLineBreak) when a name holds a line break, and (TooLarge) when
// the text would go beyond kMaxBytes, which reading refuses.
Error format(const Program &program, QByteArray *out);
// Writes the file whole or not at all.
Error save(const QString &path, const Program &program);

// The grid's rules on a program (as built by a caller, not read from a file).
Error checkRules(const Program &program);

// "X00".."X07" (k = 0..7), "Y00".."Y07" (k = 8..15).
QString ioName(int k);
// "X00 X03" for a mask, "-" when empty.
QString maskWords(uint8_t mask, QChar letter);

} // namespace programfile
