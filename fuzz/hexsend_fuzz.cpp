// Hexadecimal sending and the period box, fed any text.
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
    return 0;
}
