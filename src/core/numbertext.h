#pragma once

#include <QString>

// A number typed by a person or a script: decimal, or hexadecimal after "0x".
// Gives false, and leaves *out alone, when the text is not a number in lo..hi.
inline bool numberFromText(const QString &text, int lo, int hi, int *out)
{
    bool ok = false;
    const int v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toInt(&ok, 16)
                                                                              : text.toInt(&ok, 10);
    if (!ok || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}
