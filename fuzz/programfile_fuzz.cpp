// Program files as any bytes. A file that is read keeps the grid's rules, is
// written again, and reads back as the same program; a refusal names a line
// of the file.
#include "fuzzinput.h"

#include "logic/programfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const programfile::Result r = programfile::parse(bytes);
    if (!r.ok()) {
        const int lines = int(bytes.count('\n')) + 1;
        FUZZ_CHECK(r.error.line >= 1 && r.error.line <= lines);
        FUZZ_CHECK(!r.error.textZh().isEmpty() && !r.error.text().isEmpty());
        return 0;
    }
    FUZZ_CHECK(!programfile::checkRules(r.program));
    for (int i = 0; i < 8; ++i)
        FUZZ_CHECK(r.program.steps[i].stepNo == i + 1);
    QByteArray text;
    const programfile::Error e = programfile::format(r.program, &text);
    // Only a file near the limit can grow past it when written again (the
    // comment and the eight step lines are added); the writer refuses it.
    if (e.problem == programfile::Problem::TooLarge && bytes.size() > programfile::kMaxBytes - 1024)
        return 0;
    FUZZ_CHECK(!e);
    const programfile::Result again = programfile::parse(text);
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.program == r.program);
    return 0;
}
