#include "logic/namesfile.h"

#include "terminal/gbk.h"

namespace namesfile {

QString prefix(int line)
{
    const QChar letter = line < 8 ? QLatin1Char('X') : QLatin1Char('Y');
    return QStringLiteral("%1%2:").arg(letter).arg(line % 8, 2, 10, QLatin1Char('0'));
}

QByteArray format(const QStringList &names)
{
    QString text;
    for (int i = 0; i < kLineCount; ++i)
        text += prefix(i) + names.value(i) + QStringLiteral("\r\n");
    return gbk::encode(text);
}

std::optional<QStringList> parse(const QByteArray &bytes)
{
    // CR and LF never occur inside a GBK double-byte character, so the lines
    // can be cut before decoding.
    QStringList lines;
    qsizetype pos = 0;
    const qsizetype size = bytes.size();
    while (lines.size() < kLineCount) {
        if (pos >= size)
            return std::nullopt;
        qsizetype end = bytes.indexOf('\r', pos);
        if (end < 0) {
            // Only the sixteenth line may end at the end of the data.
            if (lines.size() != kLineCount - 1)
                return std::nullopt;
            end = size;
        }
        lines << gbk::decode(bytes.mid(pos, end - pos));
        pos = end + 1;
        if (pos < size && bytes[pos] == '\n')
            ++pos;
    }
    return lines;
}

} // namespace namesfile
