#pragma once

#include <QByteArray>
#include <QString>

namespace receive {

// Received bytes as the receive box and the reply parser see them in
// hexadecimal mode: two upper-case digits per byte, nothing between bytes.
// The bytes 01 3A FF give "013AFF".
QString hexText(const QByteArray &bytes);

// The receive box keeps at most this many characters; when it grows past it,
// the oldest text is dropped down to kBoxKeep characters at once, so that
// trimming stays rare.
constexpr int kBoxLimit = 1024 * 1024;
constexpr int kBoxKeep = kBoxLimit * 3 / 4;

// Automatic clearing empties the box once this many bytes were received.
constexpr qint64 kAutoClearBytes = 65535;

} // namespace receive
