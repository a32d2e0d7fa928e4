#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// What one tick of the reply parser found: the states to apply, a new board
// address for the address box, and whether the receive box must be rewritten
// with the text still waiting (something was removed from it).
struct ReplyTick
{
    std::optional<uint8_t> inputs;  // input states, bit k = Xk
    std::optional<uint8_t> relays;  // relay states, bit k = Yk
    std::optional<QString> address; // new text of the address box
    bool receiveRewritten = false;  // the receive box must show the waiting text
};

// Recognises the board's answers at the head of the received hexadecimal text.
//
// An answer is six bytes written as twelve upper-case hexadecimal digits:
// address, function, byte count, data, CRC (low byte first). The relay-state
// answer reads "A 01 01 D", the input-state answer "A 02 01 D", both counted
// only when A equals the address box's number and the CRC matches. The search
// answer "00 34 00 N" is looked for at the head of the receive box and sets
// the address box to N.
//
// Each tick, in order:
//  1. an input-state answer at the head is applied and removed;
//  2. with 12 or more characters waiting: a relay-state answer at the head is
//     applied and removed; then a search answer at the head of the receive
//     box sets the address (it removes nothing, so it repeats every tick);
//  3. with 13 or more characters waiting and no answer of steps 1-2 at the
//     head, unusable text is trimmed: one character while at most
//     kBacklogLimit characters wait; beyond that, everything up to the first
//     place where an answer begins; when none does, down to the part of the
//     last 11 characters that could be the start of an answer still arriving.
// A backlog that is still longer than kHardLimit after that (valid state
// answers, or answers each behind stray bytes) is cut down to its newest
// part: state answers are snapshots, the latest one wins.
class ReplyParser
{
public:
    static constexpr qsizetype kAnswerLength = 12;
    static constexpr qsizetype kBacklogLimit = 512;
    static constexpr qsizetype kHardLimit = 8192;

    // One tick. waiting (the received text not yet consumed) is shortened in
    // place; receiveHead is the start of the receive box's text (its first
    // twelve characters are enough); addressText is the address box's text.
    static ReplyTick tick(QString &waiting, QStringView receiveHead, const QString &addressText);

    // The address box's text as a number, when it is a decimal integer.
    static std::optional<int> addressNumber(const QString &addressText);

    // A state answer with the given function ('1' relays, '2' inputs) for the
    // given address begins at pos, CRC included. Gives its data byte.
    static std::optional<uint8_t> stateAnswerAt(QStringView text, qsizetype pos, char function,
                                                std::optional<int> address);
    // A search answer with a valid CRC begins at pos. Gives the address N.
    static std::optional<uint8_t> searchAnswerAt(QStringView text, qsizetype pos);
    // Reads six bytes from twelve hexadecimal digits at pos and checks the CRC.
    static bool readAnswer(QStringView text, qsizetype pos, uint8_t bytes[6]);

private:
    static bool recognisedAtHead(QStringView text, std::optional<int> address);
    static bool answerBeginsAt(QStringView text, qsizetype pos, std::optional<int> address);
    static qsizetype backlogCut(QStringView text, qsizetype from, std::optional<int> address);
    // The text (shorter than an answer) could grow into an answer.
    static bool couldBeginAnswer(QStringView part, std::optional<int> address);
};
