#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The names file: sixteen GBK lines, "X00:" to "X07:" then "Y00:" to "Y07:",
// each followed by the name as typed and ended by CR LF.
namespace namesfile {

constexpr int kLineCount = 16;

// "X00:" .. "X07:" for lines 0..7, "Y00:" .. "Y07:" for lines 8..15.
QString prefix(int line);

// The file for the given names (names[0..7] inputs, names[8..15] outputs;
// missing names are empty). Nothing is trimmed or escaped.
QByteArray format(const QStringList &names);

// The first sixteen lines of a file, whole (prefix included). A line ends
// at CR or CR LF; LF alone is part of the line; the sixteenth line may also
// end at the end of the data. Fewer than sixteen lines: nothing.
std::optional<QStringList> parse(const QByteArray &bytes);

} // namespace namesfile
