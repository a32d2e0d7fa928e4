#include "terminal/sendbox.h"

#include "protocol/hexdigit.h"
#include "serial/portsettings.h"

#include <QStringList>

#include <cmath>
#include <limits>

namespace sendbox {

QString initialPlainText()
{
    QStringList lines;
    lines << QStringLiteral("孔雀开屏") << QStringLiteral("S:300");
    for (int ch = 1; ch <= 21; ++ch)
        lines << QStringLiteral("H%1:ML").arg(ch, 2, 10, QLatin1Char('0'));
    lines << QStringLiteral("E");
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString boxText(const QString &plainText)
{
    QString t = plainText;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
    t.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return t;
}

QString lengthWarning()
{
    return QStringLiteral("长度足够，不能再输入！");
}

KeyDecision keyPress(int line, int column, char16_t ch)
{
    KeyDecision d{KeyAction::Accept, ch};
    const bool backspace = ch == kBackspace;

    // Line 2 holds "S:" and digits only; backspace may not reach into "S:".
    if (line == 2) {
        if (!backspace && !(ch >= u'0' && ch <= u'9'))
            d = {KeyAction::Refuse, ch};
        else if (backspace && column < 4)
            d = {KeyAction::Refuse, ch};
    }

    // Channel lines take L and M (typed in either case) and backspace, which
    // may not erase "Hnn:" nor the line break before it.
    if (line >= 3) {
        if (ch == u'l' || ch == u'm')
            d = {KeyAction::Convert, char16_t(ch - (u'a' - u'A'))};
        else if (ch == u'L' || ch == u'M')
            d = {KeyAction::Accept, ch};
        else if (backspace)
            d = {column < 6 ? KeyAction::Refuse : KeyAction::Accept, ch};
        else
            d = {KeyAction::Refuse, ch};
    }

    // Fifty characters before the caret: nothing more, whatever the key.
    if (column > 50)
        d = {KeyAction::Warn, ch};
    return d;
}

static bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}


QByteArray hexBytes(const QString &text)
{
    QString t = text;
    t.remove(QLatin1Char(' '));
    t = t.toUpper();
    qsizetype run = 0;
    while (run < t.size() && isHexDigit(t.at(run)))
        ++run;
    QByteArray out;
    out.reserve(run / 2);
    for (qsizetype i = 0; i + 1 < run; i += 2)
        out.append(char(hexDigitValue(t.at(i)) * 16 + hexDigitValue(t.at(i + 1))));
    return out;
}

qint64 periodMilliseconds(const QString &text)
{
    const double v = leadingNumber(text);
    if (!std::isfinite(v) || v < 0 || v > double(std::numeric_limits<int>::max()))
        return -1;
    return roundHalfEven(v);
}

} // namespace sendbox
