#include "terminal/receiveformat.h"

namespace receive {

QString hexText(const QByteArray &bytes)
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    QString text(bytes.size() * 2, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = digits[b >> 4];
        *out++ = digits[b & 0x0F];
    }
    return text;
}

void joinCrLf(QString &text, bool &crPending)
{
    if (text.isEmpty())
        return;
    const bool skipFirst = crPending && text.front() == u'\n';
    crPending = text.back() == u'\r';
    qsizetype in = skipFirst ? 1 : text.indexOf(u'\r');
    if (in < 0)
        return;
    // Everything before the first CR stays where it is.
    qsizetype out = skipFirst ? 0 : in;
    QChar *data = text.data();
    const qsizetype size = text.size();
    while (in < size) {
        const QChar c = data[in++];
        if (c == u'\r') {
            data[out++] = u'\n';
            if (in < size && data[in] == u'\n')
                ++in;
        } else {
            data[out++] = c;
        }
    }
    text.truncate(out);
}

void groupLines(QString &text, qsizetype groupChars)
{
    // Line breaks from here on stay paragraph breaks.
    const qsizetype tail = text.lastIndexOf(u'\n') - groupChars;
    if (tail <= 0)
        return;
    QChar *data = text.data();
    const QStringView view(text);
    qsizetype paragraphStart = 0;
    for (qsizetype i = view.indexOf(u'\n'); i >= 0 && i < tail; i = view.indexOf(u'\n', i + 1)) {
        if (i - paragraphStart >= groupChars)
            paragraphStart = i + 1;
        else
            data[i] = QChar(QChar::LineSeparator);
    }
}

} // namespace receive
