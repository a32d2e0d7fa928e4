// The settings file (sysini.txt) as any bytes: read it, form the port
// settings from what it yields, and write it back.
#include "fuzzinput.h"

#include "serial/portsettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const SettingsFileContent c = parseSettingsFile(bytes);
    FUZZ_CHECK(c.lines.size() <= 5);
    FUZZ_CHECK(!c.complete || c.lines.size() == 5);
    PortBoxes boxes;
    if (c.com())
        boxes.com = *c.com();
    if (c.parity())
        boxes.parity = *c.parity();
    if (c.complete) {
        boxes.baud = c.baud();
        boxes.data = c.dataBits();
        boxes.stop = c.stopBits();
    }
    if (const auto s = formPortSettings(boxes))
        (void)s->settingsText();
    const SettingsFileContent again = parseSettingsFile(formatSettingsFile(boxes));
    FUZZ_CHECK(again.lines.size() <= 5);
    return 0;
}
