#pragma once

// Every pause and period of the program, in milliseconds, in one place.
namespace timing {

// The reply parser looks at the received text this often (Timer2).
constexpr int kParserTick = 20;
// A parser tick later than this (1.5 periods) is run by the receive path itself:
// under a stream that keeps the event loop busy, Qt runs timers late.
constexpr int kParserOverdue = kParserTick + kParserTick / 2;
// What the receive box shows is brought up to date in frames, however many
// reads arrive: repainting per read costs far more than receiving. The first
// text after a quiet spell is shown this long after it came...
constexpr int kDisplayFrame = 33;
// ...and the frames of a stream that goes on come at least this far apart:
// each one lays out and repaints the whole box, and 20 frames a second
// instead of 30 take a tenth off the cost of a 115200-baud stream.
constexpr int kStreamFrame = 50;
// The RX counter under a stream is shown about this often, in one of the
// receive box's frames when they come: digits that change faster cannot be
// read, and every showing repaints the counter.
constexpr int kCounterFrame = 100;
// A steady stream is read at most this often (one wake-up per batch instead
// of one per few bytes); the first bytes after a silence are read at once.
// The parser reads for itself at each of its ticks, and the box shows a
// stream at most every kStreamFrame, so reading more often shows nothing
// sooner. (While frames on the line are timed, the answer checks allow less.)
constexpr int kReceivePacing = 20;
// The clock in the status row.
constexpr int kClockTick = 50;
// A clock tick later than this is run by the receive path (as for the parser).
constexpr int kClockOverdue = kClockTick + kClockTick / 2;

// Device status: before the relay read, and between it and the input read.
constexpr int kStatusReadDelay = 100;
constexpr int kStatusReadGap = 500;
// Program download: after each of steps 1 to 7, and after step 8.
constexpr int kStepGap = 250;
constexpr int kLastStepPause = 100;
// The greeting after opening a port: each phase of the blinking arrow.
constexpr int kGreetingPhase = 500;
// The end of start-up, once the port is open.
constexpr int kStartUpSettle = 100;

// The answer checks take a silence shorter than this for the middle of a
// frame: the host sees the line through its adapter's latency.
constexpr int kHostFrameGapMs = 20;
// The bus monitor puts the frames it collected into its list this often.
constexpr int kMonitorUpdate = 100;

// A lost port's device is looked for this often until it comes back.
constexpr int kReconnectPoll = 500;

} // namespace timing
