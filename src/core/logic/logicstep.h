#pragma once

#include <QChar>
#include <QString>

#include <cstdint>

// One step of the board's logic program as the grid holds it. Bit k is input
// X0k (andMask, orMask) or relay Y0k (outMask).
struct LogicStep
{
    uint8_t stepNo = 0; // 1..8
    uint8_t andMask = 0;
    uint8_t orMask = 0;
    uint8_t outMask = 0;
};

// The name of input or relay k (0..7) as every caption shows it: "X03", "Y07".
inline QString signalName(QChar letter, int k)
{
    return QString(letter) + QLatin1Char('0') + QChar(u'0' + (k & 7));
}
