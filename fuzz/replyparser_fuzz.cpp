// The reply parser fed arbitrary received bytes between its ticks, the way
// the receive path feeds it: each byte as two hexadecimal digits appended to
// the waiting text. After every tick the backlog is within its bound.
#include "fuzzinput.h"

#include "protocol/replyparser.h"
#include "terminal/receiveformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    QString waiting;
    QString receiveBox;
    QString address = QString::number(in.byte());
    while (!in.empty()) {
        const uint8_t op = in.byte();
        if (op < 0xF0) {
            // Bytes arriving before the next tick: up to 64, about three
            // ticks' worth at 9600 baud, repeated to make long streams.
            const QByteArray piece = in.bytes(op % 65);
            const int repeat = 1 + in.byte() % 16;
            for (int i = 0; i < repeat; ++i) {
                const QString hex = receive::hexText(piece);
                waiting += hex;
                receiveBox += hex;
            }
        } else if (op == 0xF0) {
            address = QString::fromLatin1(in.bytes(4)); // the box may hold anything
        } else if (op == 0xF1) {
            receiveBox.clear();
        }
        const int ticks = 1 + (op & 0x03);
        for (int t = 0; t < ticks; ++t) {
            const ReplyTick r = ReplyParser::tick(waiting, QStringView(receiveBox).left(ReplyParser::kAnswerLength), address);
            if (r.address)
                address = *r.address;
            if (r.receiveRewritten)
                receiveBox = waiting;
            FUZZ_CHECK(waiting.size() <= ReplyParser::kHardLimit);
        }
        if (receiveBox.size() > 4 * ReplyParser::kHardLimit)
            receiveBox = receiveBox.right(ReplyParser::kHardLimit);
    }
    return 0;
}
