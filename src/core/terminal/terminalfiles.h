#pragma once

#include <QByteArray>
#include <QString>

// File formats of the terminal: the block appended by "save", and the
// hexadecimal text accepted when a file is sent in hexadecimal mode.
namespace terminalfiles {

// One saved block: the box text (CR LF line ends, see sendbox::boxText) in
// GBK, then CR LF, then one more CR LF.
QByteArray saveBlock(const QString &boxText);

// Appends one block to the file, creating it when missing. The whole file is
// replaced at once, so it never ends up half written. False (with a reason)
// when the existing file cannot be read or the new one cannot be written.
bool appendSaveBlock(const QString &path, const QString &boxText, QString *error = nullptr);

// Hexadecimal text as sent from a file: pairs of hex digits in either case,
// with spaces, tabs and line breaks anywhere ignored. The first other
// character ends the data; a UTF-8 byte order mark at the start is skipped.
struct HexText
{
    QByteArray bytes;
    bool stopped = false;    // an other character ended the data early
    qsizetype stopOffset = -1; // byte offset of that character in the file
    bool oddDigit = false;   // a last digit without its partner was dropped
};
HexText parseHexText(const QByteArray &file);

// Bytes per second a port moves with the given settings text ("9600,N,8,1"):
// start bit, data bits, parity bit (none for N) and stop bits per character.
// 0 when the text is not a valid setting.
qint64 bytesPerSecond(const QString &settings);

} // namespace terminalfiles
