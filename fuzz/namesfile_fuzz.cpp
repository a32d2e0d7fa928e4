// The names file as any bytes: sixteen whole lines or nothing.
#include "fuzzinput.h"

#include "logic/namesfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto lines = namesfile::parse(bytes);
    if (lines) {
        FUZZ_CHECK(lines->size() == namesfile::kLineCount);
        // What was read can be written again, and that reads as sixteen lines.
        const auto again = namesfile::parse(namesfile::format(*lines));
        FUZZ_CHECK(again && again->size() == namesfile::kLineCount);
    }
    return 0;
}
