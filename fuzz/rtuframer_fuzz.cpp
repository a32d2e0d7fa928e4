// The RTU frame splitter fed any bytes in pieces, at times that go forward,
// with silences and new expectations between. Every byte comes out exactly
// once and in order, as a frame, a garbled answer or noise; a frame has a
// length its function allows and a valid CRC; after a silence nothing waits.
#include "fuzzinput.h"

#include "protocol/frames.h"
#include "protocol/rtuframer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    RtuFramer framer(1 + in.byte() * 16);
    QByteArray fed, out;
    qint64 now = 0;
    auto take = [&](const QList<RtuFrame> &found) {
        for (const RtuFrame &f : found) {
            FUZZ_CHECK(!f.bytes.isEmpty());
            FUZZ_CHECK(f.timeUs <= now);
            if (f.kind == RtuFrame::Frame) {
                FUZZ_CHECK(frames::hasValidCrc(f.bytes));
                FUZZ_CHECK(RtuFramer::candidateLengths(f.bytes).contains(int(f.bytes.size())));
            } else if (f.kind == RtuFrame::BadCrc) {
                FUZZ_CHECK(f.bytes.size() >= 4);
            }
            out += f.bytes;
        }
        FUZZ_CHECK(out.size() + framer.pending() == fed.size() && fed.startsWith(out));
    };
    while (!in.empty()) {
        const uint8_t op = in.byte();
        now += in.byte() * 8;
        if (op < 0xE0) {
            const QByteArray piece = in.bytes(op % 40);
            fed += piece;
            take(framer.feed(piece, now));
        } else if (op < 0xF0) {
            take(framer.silence(now));
            FUZZ_CHECK(framer.pending() == 0);
        } else if (op < 0xF8) {
            const uint8_t address = in.byte(), function = in.byte();
            framer.expect(address, function, in.byte() % 40);
        } else {
            // A whole frame of its own, as a board would answer.
            const QByteArray frame = frames::closeFrame(in.bytes(2 + op % 8));
            fed += frame;
            take(framer.feed(frame, now));
        }
    }
    take(framer.silence(now));
    FUZZ_CHECK(framer.pending() == 0);
    FUZZ_CHECK(out == fed);
    return 0;
}
