// The send box's typing rule driven by random key sequences with the caret
// moved at random. The box is modelled as its lines; every key goes through
// sendbox::keyPress and is applied as the box applies it. The structure the
// rule keeps:
//  - no line is ever removed, and a line is added only by Enter on line 1;
//  - the speed line (line 2) gains only digits, and backspace never erases
//    its first two characters ("S:");
//  - a channel line (line 3 on) gains only L and M, and backspace never
//    erases its first four characters ("Hnn:");
//  - backspace never joins two lines;
//  - nothing is inserted with more than 50 characters before the caret.
#include "fuzzinput.h"

#include "terminal/sendbox.h"

#include <QStringList>

namespace {

// Keys worth trying: the letters the rule converts or takes, digits, the
// editing keys, and a few others, double-byte ones among them.
const char16_t kKeys[] = {u'l', u'm', u'L', u'M', u'0', u'5', u'9', u'S', u':', u'H', u'a', u' ',
                          sendbox::kBackspace, sendbox::kEnter, u'\t', u'孔', u'雀', 0x7F};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    QStringList lines = sendbox::initialPlainText().split(QLatin1Char('\n'));
    int line = 1, column = 1; // the caret, 1-based
    while (!in.empty()) {
        const uint8_t op = in.byte();
        if (op >= 0xC0) {
            // Move the caret anywhere in the text.
            line = 1 + in.byte() % lines.size();
            column = 1 + in.byte() % (lines[line - 1].size() + 1);
            continue;
        }
        const char16_t key = kKeys[op % (sizeof(kKeys) / sizeof(kKeys[0]))];
        const sendbox::KeyDecision d = sendbox::keyPress(line, column, key);
        if (d.action == sendbox::KeyAction::Refuse || d.action == sendbox::KeyAction::Warn)
            continue;
        const char16_t typed = d.ch;
        const int count = int(lines.size());
        QString &text = lines[line - 1];
        if (typed == sendbox::kBackspace) {
            // The character erased is never one of "S:" on line 2 nor of
            // "Hnn:" on a channel line.
            if (line == 2)
                FUZZ_CHECK(column - 2 >= 2);
            if (line >= 3)
                FUZZ_CHECK(column - 2 >= 4);
            if (column > 1) {
                text.remove(column - 2, 1);
                --column;
            } else {
                // Joins this line to the one before: the rule must never let it.
                FUZZ_CHECK(line == 1);
            }
        } else if (typed == sendbox::kEnter) {
            FUZZ_CHECK(line == 1);
            const QString tail = text.mid(column - 1);
            text.truncate(column - 1);
            lines.insert(line, tail);
            ++line;
            column = 1;
        } else {
            FUZZ_CHECK(column <= 50);
            text.insert(column - 1, QChar(typed));
            ++column;
            if (line == 2)
                FUZZ_CHECK(typed >= u'0' && typed <= u'9');
            if (line >= 3)
                FUZZ_CHECK(typed == u'L' || typed == u'M');
        }
        FUZZ_CHECK(lines.size() >= count);
    }
    return 0;
}
