#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A board address as the address boxes hold it: a decimal integer 0..255.
inline std::optional<uint8_t> addressFromText(const QString &text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < 0 || v > 255)
        return std::nullopt;
    return uint8_t(v);
}
