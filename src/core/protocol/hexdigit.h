#pragma once

#include <QChar>

// The value of one hexadecimal digit, either case; -1 for anything else.
inline int hexDigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}
inline int hexDigitValue(QChar c) { return hexDigitValue(c.unicode()); }
inline int hexDigitValue(char c) { return hexDigitValue(char16_t(static_cast<unsigned char>(c))); }
