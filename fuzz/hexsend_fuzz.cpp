// Hexadecimal sending, the period box and the receive box's line groups, fed any text.
#include "fuzzinput.h"

#include "terminal/receiveformat.h"
#include "terminal/sendbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray bytes = sendbox::hexBytes(text);
    FUZZ_CHECK(bytes.size() <= text.size() / 2);
    // The bytes written as hexadecimal text give the same bytes again.
    FUZZ_CHECK(sendbox::hexBytes(receive::hexText(bytes)) == bytes);
    FUZZ_CHECK(sendbox::periodMilliseconds(text) >= -1);
    // Lines put into shared paragraphs read back as the same lines.
    QString lines = text;
    lines.remove(QChar(QChar::LineSeparator));
    QString grouped = lines;
    receive::groupLines(grouped, qsizetype(1 + size % 64));
    FUZZ_CHECK(grouped.size() == lines.size());
    grouped.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
    FUZZ_CHECK(grouped == lines);
    return 0;
}
