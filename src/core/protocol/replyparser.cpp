#include "protocol/replyparser.h"

#include "protocol/crc.h"
#include "protocol/hexdigit.h"

#include <algorithm>

bool ReplyParser::readAnswer(QStringView text, qsizetype pos, uint8_t bytes[6])
{
    if (pos < 0 || text.size() - pos < kAnswerLength)
        return false;
    for (int i = 0; i < 6; ++i) {
        const int hi = hexDigitValue(text[pos + 2 * i]);
        const int lo = hexDigitValue(text[pos + 2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes[i] = uint8_t(hi * 16 + lo);
    }
    const uint16_t crc = ModbusCrc16(bytes, 4);
    return bytes[4] == uint8_t(crc & 0xFF) && bytes[5] == uint8_t(crc >> 8);
}

std::optional<int> ReplyParser::addressNumber(const QString &addressText)
{
    bool ok = false;
    const int v = addressText.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

std::optional<uint8_t> ReplyParser::stateAnswerAt(QStringView text, qsizetype pos, char function,
                                                  std::optional<int> address)
{
    if (!address || pos < 0 || text.size() - pos < kAnswerLength)
        return std::nullopt;
    // Function and byte count first: cheap, and false for almost all text.
    if (text[pos + 2] != u'0' || text[pos + 3] != QLatin1Char(function) || text[pos + 4] != u'0'
        || text[pos + 5] != u'1')
        return std::nullopt;
    uint8_t b[6];
    if (!readAnswer(text, pos, b) || b[0] != *address)
        return std::nullopt;
    return b[3];
}

std::optional<uint8_t> ReplyParser::searchAnswerAt(QStringView text, qsizetype pos)
{
    if (pos < 0 || text.size() - pos < kAnswerLength || !text.mid(pos, 6).startsWith(u"003400"))
        return std::nullopt;
    uint8_t b[6];
    if (!readAnswer(text, pos, b))
        return std::nullopt;
    return b[3];
}

bool ReplyParser::recognisedAtHead(QStringView text, std::optional<int> address)
{
    return stateAnswerAt(text, 0, '2', address) || stateAnswerAt(text, 0, '1', address);
}

bool ReplyParser::answerBeginsAt(QStringView text, qsizetype pos, std::optional<int> address)
{
    return stateAnswerAt(text, pos, '2', address) || stateAnswerAt(text, pos, '1', address)
        || searchAnswerAt(text, pos);
}

qsizetype ReplyParser::backlogCut(QStringView text, qsizetype from, std::optional<int> address)
{
    // Every answer has "0101", "0201" (state answers) or "003400" (the
    // search answer) at a fixed place: look for those with indexOf, which is
    // far faster over a long flood than trying every position.
    const qsizetype last = text.size() - kAnswerLength; // the last position an answer can begin at
    auto next = [&](QStringView pattern, qsizetype offset, qsizetype start) -> qsizetype {
        const qsizetype i = text.indexOf(pattern, start + offset);
        return i < 0 || i - offset > last ? last + 1 : i - offset;
    };
    // The next place of each pattern, searched again only once passed.
    qsizetype relays = next(u"0101", 2, from), inputs = next(u"0201", 2, from), search = next(u"003400", 0, from);
    for (;;) {
        const qsizetype candidate = std::min({relays, inputs, search});
        if (candidate > last)
            break;
        if (answerBeginsAt(text, candidate, address))
            return candidate;
        if (relays == candidate)
            relays = next(u"0101", 2, candidate + 1);
        if (inputs == candidate)
            inputs = next(u"0201", 2, candidate + 1);
        if (search == candidate)
            search = next(u"003400", 0, candidate + 1);
    }
    // No complete answer: of the last 11 characters keep only what could be
    // the start of one still arriving, so that an answer completing it, or
    // coming right after the flood, is at the head on the next tick.
    for (qsizetype p = qMax(from, text.size() - (kAnswerLength - 1)); p < text.size(); ++p) {
        if (couldBeginAnswer(text.mid(p), address))
            return p;
    }
    return text.size();
}

bool ReplyParser::couldBeginAnswer(QStringView part, std::optional<int> address)
{
    if (part.size() >= kAnswerLength)
        return false;
    for (QChar c : part) {
        if (hexDigitValue(c) < 0)
            return false;
    }
    auto fits = [&](QStringView pattern) {
        for (qsizetype i = 0; i < part.size() && i < pattern.size(); ++i) {
            if (pattern[i] != u'?' && pattern[i] != part[i])
                return false;
        }
        return true;
    };
    if (fits(u"003400"))
        return true;
    if (!address || *address < 0 || *address > 255)
        return false;
    if (part.size() >= 1 && hexDigitValue(part[0]) != (*address >> 4))
        return false;
    if (part.size() >= 2 && hexDigitValue(part[1]) != (*address & 0x0F))
        return false;
    return fits(u"??0101") || fits(u"??0201");
}

ReplyTick ReplyParser::tick(QString &waiting, QStringView receiveHead, const QString &addressText)
{
    ReplyTick r;
    // The address is read afresh in every step; the search step may change it.
    QString address = addressText;
    // Once something was removed the receive box shows the waiting text.
    auto receive = [&]() -> QStringView { return r.receiveRewritten ? QStringView(waiting) : receiveHead; };

    if (waiting.size() >= kAnswerLength) {
        if (const auto d = stateAnswerAt(waiting, 0, '2', addressNumber(address))) {
            r.inputs = *d;
            waiting.remove(0, kAnswerLength);
            r.receiveRewritten = true;
        }
    }

    if (waiting.size() >= kAnswerLength) {
        if (const auto d = stateAnswerAt(waiting, 0, '1', addressNumber(address))) {
            r.relays = *d;
            waiting.remove(0, kAnswerLength);
            r.receiveRewritten = true;
        }
        if (const auto n = searchAnswerAt(receive(), 0)) {
            address = QString::number(*n);
            r.address = address;
        }
    }

    const std::optional<int> number = addressNumber(address);
    if (waiting.size() > kAnswerLength && !recognisedAtHead(waiting, number)) {
        // A short backlog loses one character per tick; a long one is cut
        // at once to where the next answer begins.
        const qsizetype cut = waiting.size() > kBacklogLimit ? backlogCut(waiting, 1, number) : 1;
        waiting.remove(0, cut);
        r.receiveRewritten = true;
    }
    if (waiting.size() > kHardLimit) {
        // More answers wait than can ever be applied in time (valid ones, or
        // valid ones each behind a stray byte, which the cut above removes
        // only one at a time): keep the newest.
        waiting.remove(0, backlogCut(waiting, waiting.size() - kBacklogLimit, number));
        r.receiveRewritten = true;
    }
    return r;
}
