#pragma once

#include <QByteArray>
#include <QString>

namespace receive {

// Received bytes as the receive box and the reply parser see them in
// hexadecimal mode: two upper-case digits per byte, nothing between bytes.
// The bytes 01 3A FF give "013AFF".
QString hexText(const QByteArray &bytes);

// Received text as the receive box holds it: a CR LF pair, or a CR alone,
// becomes one LF. The box shows each as one line break, and its document
// holds one character for it, so the box's text and its document count the
// same characters. crPending carries a CR that ended the previous piece: an
// LF that starts this one is its pair and is dropped.
void joinCrLf(QString &text, bool &crPending);

// A long received text as the receive box's document takes it: its lines go
// into paragraphs of about groupChars characters each. Inside a paragraph a
// line ends with a line separator (U+2028), which the box shows as a line
// break like any other and its plain text reads as LF. A paragraph ends after
// the first line that reaches groupChars. The lines in the last groupChars
// characters before the text's last line break stay paragraphs of their own:
// the box lays out the paragraphs at its end (the caret's, the ones shown)
// again with every update, and a paragraph is laid out whole. A document pays
// for every paragraph it inserts or removes (most of the time of a text
// flood), and far less for its characters.
void groupLines(QString &text, qsizetype groupChars);

// The receive box keeps at most this many characters; when it grows past it,
// the oldest text is dropped down to kBoxKeep characters at once, so that
// trimming stays rare.
constexpr int kBoxLimit = 1024 * 1024;
constexpr int kBoxKeep = kBoxLimit * 3 / 4;

// The hexadecimal display is one unbroken line that the box lays out anew on
// every update, at a few million characters a second. One timed update puts
// at most this much new hexadecimal text in (4 KiB of bytes, about 80 KB/s at
// 20 frames a second, beyond a 460800-baud line); the rest waits for the next
// update, within the box's own limit.
constexpr int kHexUpdateLimit = 8192;
// Text is put into the box at once when this much waits (text has line
// breaks, so an update lays out only its own lines). Each such update also
// moves the caret, scrolls and repaints the box, whatever its size: in a
// flood fewer, larger updates take more text a second, and one of this size
// still keeps the window answering well within 20 ms.
constexpr int kTextUpdateLimit = 256 * 1024;
// An update of a stream that the box in view follows, at least this long
// (a stream of more than about a megabyte a second, or a flood), goes into
// the box with its lines in paragraphs of about kLineGroup characters. Other
// updates keep one paragraph per line, for the keys and clicks that work by
// paragraphs (a triple click selects one).
constexpr int kGroupedUpdate = 64 * 1024;
constexpr int kLineGroup = 512;

// Automatic clearing empties the box once this many bytes were received.
constexpr qint64 kAutoClearBytes = 65535;

} // namespace receive
