// The virtual board's request handling fed any bytes, in pieces, with the
// line going quiet now and then. Everything it answers is a whole frame with
// a valid CRC, and what it keeps waiting stays bounded.
#include "fuzzinput.h"

#include "boardmodel.h"
#include "protocol/frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    board::BoardModel model;
    model.setAddress(in.byte());
    auto check = [](const QList<QByteArray> &answers) {
        for (const QByteArray &a : answers)
            FUZZ_CHECK(a.size() >= 5 && frames::hasValidCrc(a));
    };
    while (!in.empty()) {
        const uint8_t op = in.byte();
        if (op < 0xE0) {
            check(model.receive(in.bytes(op % 48)));
        } else if (op < 0xF0) {
            check(model.lineIdle());
            FUZZ_CHECK(model.splitter().pending() == 0);
        } else {
            // A request of its function's length with a valid CRC, whatever
            // its content, handed over as the receive path does.
            const QByteArray frame = frames::closeFrame(in.bytes(op - 0xF0 + 6));
            if (board::FrameSplitter::requestLength(frame) == frame.size()) {
                const QByteArray answer = model.handleRequest(frame);
                FUZZ_CHECK(answer.isEmpty() || frames::hasValidCrc(answer));
            }
        }
        FUZZ_CHECK(model.splitter().pending() < 4096);
    }
    return 0;
}
