#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

// The rules of the terminal's send box, free of widgets.
//
// The box holds a lamp pattern: line 1 a free title, line 2 "S:" and a
// decimal speed, lines 3 onwards "Hnn:" followed by the letters L and M, and a
// closing "E". The typing rule keeps that structure while the user types.
namespace sendbox {

constexpr char16_t kBackspace = 8;
constexpr char16_t kEnter = 13;

// The text the box starts with, as the box stores it: lines separated by
// '\n', the last line ("E") ended too, so the caret can stand on an empty
// 25th line just as after the final line break of the stored text.
QString initialPlainText();

// The text of the box as the program sees it (for sending, saving and
// counting): every line break of the box is CR LF. The initial pattern gives
// 24 lines each ended by CR LF, 188 bytes in GBK; an empty box gives nothing.
QString boxText(const QString &plainText);

// What happens to one typed character.
enum class KeyAction {
    Accept,  // insert it as typed
    Refuse,  // insert nothing
    Convert, // insert `ch` instead (lower-case l and m become upper case)
    Warn,    // insert nothing and show the length warning
};

struct KeyDecision
{
    KeyAction action;
    char16_t ch;
};

// The typing rule for a character typed with the caret at the given 1-based
// line and column (column - 1 characters stand before the caret on its line).
KeyDecision keyPress(int line, int column, char16_t ch);

// The warning of the length limit.
QString lengthWarning();

// Hexadecimal sending: spaces removed, upper-cased, the leading run of hex
// digits taken as pairs (an odd last digit dropped). Text after the first
// other character, such as the first line break, is ignored.
QByteArray hexBytes(const QString &text);

// The period box read as whole milliseconds: the number at the start of the
// text, 0 when it does not start with one; -1 for a value no timer takes
// (negative, or beyond the range of an int).
qint64 periodMilliseconds(const QString &text);

} // namespace sendbox
