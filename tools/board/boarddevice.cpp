#include "boarddevice.h"

#include "numbertext.h"

#include <QStringList>

#include <cstdio>

namespace board {

namespace {
// Silence after which a request that is still incomplete is given up.
constexpr int kIdleMs = 30;

bool parseSwitch(const QString &text, bool *out)
{
    if (text == QLatin1String("on") || text == QLatin1String("1")) {
        *out = true;
        return true;
    }
    if (text == QLatin1String("off") || text == QLatin1String("0")) {
        *out = false;
        return true;
    }
    return false;
}

QString hex2(uint8_t v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')); }
} // namespace

BoardDevice::BoardDevice(QObject *parent) : QObject(parent)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        QList<QByteArray> answers;
        for (BoardModel *b : boards())
            answers += b->lineIdle();
        send(answers);
    });
    connect(&m_transport, &PtyTransport::received, this, &BoardDevice::onReceived);
}

void BoardDevice::setMisbehaviour(const Misbehaviour &m)
{
    m_mis = m;
    emit misbehaviourChanged();
}

BoardModel &BoardDevice::addBoard(uint8_t address)
{
    m_others.push_back(std::make_unique<BoardModel>());
    m_others.back()->setAddress(address);
    return *m_others.back();
}

QList<BoardModel *> BoardDevice::boards()
{
    QList<BoardModel *> all{&m_model};
    for (const auto &b : m_others)
        all << b.get();
    return all;
}

BoardModel *BoardDevice::boardAt(int address)
{
    for (BoardModel *b : boards())
        if (b->address() == address)
            return b;
    return nullptr;
}

void BoardDevice::onReceived(const QByteArray &bytes)
{
    if (!lineMatches())
        return;
    QList<QByteArray> answers;
    bool pending = false;
    for (BoardModel *b : boards()) {
        answers += b->receive(bytes);
        pending = pending || b->splitter().pending() > 0;
    }
    send(answers);
    if (pending)
        m_idle.start();
}

void BoardDevice::send(const QList<QByteArray> &answers)
{
    QByteArray out;
    for (const QByteArray &a : answers)
        out += shapeOutgoing(a, m_mis, m_model.address(), &m_noiseSeed);
    if (m_twin && !out.isEmpty()) {
        // The twin starts its answer a moment later: on the wire its bits
        // fall half a bit behind and the two drivers fight over every byte.
        for (int i = 0; i < out.size(); ++i) {
            const uint8_t b = uint8_t(out.at(i));
            out[i] = char(b & uint8_t((b << 1) | 1));
        }
    }
    if (out.isEmpty())
        return;
    auto go = [this, out] {
        if (m_vanished)
            return;
        m_transport.write(out);
        emit sent(out);
    };
    if (m_mis.delayMs > 0)
        QTimer::singleShot(m_mis.delayMs, this, go);
    else
        go();
}

void BoardDevice::setInputs(uint8_t inputs)
{
    const QByteArray report = m_model.setInputs(inputs);
    if (!report.isEmpty())
        send({report});
}

void BoardDevice::setInput(int k, bool on)
{
    const QByteArray report = m_model.setInput(k, on);
    if (!report.isEmpty())
        send({report});
}

bool BoardDevice::lineMatches() const
{
    if (m_ownBaud <= 0)
        return true;
    int baud = 0;
    char parity = 'N';
    if (!m_transport.lineSettings(&baud, &parity))
        return false;
    return baud == m_ownBaud && parity == m_ownParity;
}

bool BoardDevice::comeBack()
{
    if (!m_vanished)
        return true;
    if (!m_transport.open())
        return false;
    if (!m_lastLink.isEmpty() && !m_transport.linkAt(m_lastLink))
        return false;
    m_vanished = false;
    emit misbehaviourChanged();
    return true;
}

void BoardDevice::vanish()
{
    if (!m_transport.linkPath().isEmpty())
        m_lastLink = m_transport.linkPath();
    m_vanished = true;
    m_idle.stop();
    m_transport.close();
    emit misbehaviourChanged();
}

QString BoardDevice::stateLine(const BoardModel &board) const
{
    const BoardState &s = board.state();
    QStringList steps;
    for (const LogicStep &st : s.steps)
        steps << hex2(st.andMask) + hex2(st.orMask) + hex2(st.outMask);
    return QStringLiteral("state address=%1 relays=0x%2 written=0x%3 inputs=0x%4 report=%5 steps=%6 frames=%7 line=%8")
        .arg(s.address)
        .arg(hex2(board.relays()), hex2(s.written), hex2(s.inputs), s.report ? "on" : "off", steps.join(','))
        .arg(board.framesHandled())
        .arg(m_transport.isOpen() ? "open" : "closed");
}

QString runCommand(BoardDevice &d, const QString &line, bool *quit)
{
    const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return QStringLiteral("error: empty command");
    const QString cmd = w[0].toLower();
    const QString bad = QStringLiteral("error: usage: ");
    int n = 0;
    bool on = false;
    Misbehaviour m = d.misbehaviour();

    if (cmd == QLatin1String("state")) {
        if (w.size() == 1)
            return d.stateLine();
        const BoardModel *b = w.size() == 2 && numberFromText(w[1], 0, 255, &n) ? d.boardAt(n) : nullptr;
        return b ? d.stateLine(*b) : bad + QStringLiteral("state [ADDRESS of a board on the line]");
    }
    if (cmd == QLatin1String("quit")) {
        *quit = true;
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("help"))
        return commandHelp().simplified();
    if (cmd == QLatin1String("input")) {
        if (w.size() != 3 || !numberFromText(w[1], 0, 7, &n) || !parseSwitch(w[2], &on))
            return bad + QStringLiteral("input K on|off");
        d.setInput(n, on);
    } else if (cmd == QLatin1String("inputs")) {
        if (w.size() != 2 || !numberFromText(w[1], 0, 255, &n))
            return bad + QStringLiteral("inputs BYTE");
        d.setInputs(uint8_t(n));
    } else if (cmd == QLatin1String("relays")) {
        if (w.size() != 2 || !numberFromText(w[1], 0, 255, &n))
            return bad + QStringLiteral("relays BYTE");
        d.model().setWrittenRelays(uint8_t(n));
    } else if (cmd == QLatin1String("address")) {
        if (w.size() != 2 || !numberFromText(w[1], 1, 255, &n))
            return bad + QStringLiteral("address 1..255");
        d.model().setAddress(uint8_t(n));
    } else if (cmd == QLatin1String("report")) {
        if (w.size() != 2 || !parseSwitch(w[1], &on))
            return bad + QStringLiteral("report on|off");
        d.model().setReport(on);
    } else if (cmd == QLatin1String("step")) {
        int s = 0, a = 0, o = 0, out = 0;
        if (w.size() != 5 || !numberFromText(w[1], 1, 8, &s) || !numberFromText(w[2], 0, 255, &a)
            || !numberFromText(w[3], 0, 255, &o) || !numberFromText(w[4], 0, 255, &out))
            return bad + QStringLiteral("step N AND OR OUT");
        d.model().setStep(LogicStep{uint8_t(s), uint8_t(a), uint8_t(o), uint8_t(out)});
    } else if (cmd == QLatin1String("silent") || cmd == QLatin1String("corrupt") || cmd == QLatin1String("noise")) {
        if (w.size() != 2 || !parseSwitch(w[1], &on))
            return bad + cmd + QStringLiteral(" on|off");
        (cmd == QLatin1String("silent") ? m.silent : cmd == QLatin1String("corrupt") ? m.corrupt : m.noise) = on;
        d.setMisbehaviour(m);
    } else if (cmd == QLatin1String("delay")) {
        if (w.size() != 2 || !numberFromText(w[1], 0, 60000, &n))
            return bad + QStringLiteral("delay MS");
        m.delayMs = n;
        d.setMisbehaviour(m);
    } else if (cmd == QLatin1String("vanish")) {
        d.vanish();
    } else if (cmd == QLatin1String("back")) {
        if (!d.comeBack())
            return QStringLiteral("error: no new line: %1").arg(d.transport().errorString());
        std::fprintf(stderr, "line %s\n", qPrintable(d.transport().slavePath()));
    } else {
        return QStringLiteral("error: unknown command %1 (try help)").arg(w[0]);
    }
    return QStringLiteral("ok");
}

QString commandHelp()
{
    return QStringLiteral(
        "Commands (headless mode, one per line on standard input; each prints one line:\n"
        "\"ok\", \"error: ...\" or the state line):\n"
        "  input K on|off      switch input XK (K 0..7)\n"
        "  inputs BYTE         set all eight inputs (bit k = Xk; decimal or 0x..)\n"
        "  relays BYTE         set the written relay byte, as a relay write would\n"
        "  address N           take address N (1..255)\n"
        "  report on|off       switch input reporting\n"
        "  step N AND OR OUT   store program step N (1..8) with these masks\n"
        "  silent on|off       send nothing (requests are still carried out)\n"
        "  corrupt on|off      send every answer with a wrong CRC\n"
        "  noise on|off        send three stray bytes in front of every answer\n"
        "  delay MS            send everything MS milliseconds late (0: at once)\n"
        "  vanish              close the line and remove the link; the program sees it go\n"
        "  back                after vanish: a new line behind the same link (adapter plugged in again)\n"
        "  state [A]           print (for the first board, or the board at address A):\n"
        "                      state address=N relays=0xHH written=0xHH inputs=0xHH\n"
        "                      report=on|off steps=AAOOUU x8 (hex AND,OR,OUT masks per step)\n"
        "                      frames=N (requests carried out) line=open|closed\n"
        "  help                print this list on one line\n"
        "  quit                end (the link is removed)\n");
}

QString programHelp()
{
    return QStringLiteral(
        "How the board answers:\n"
        "  search (broadcast 06 0033=1)     00 34 00 N CRC, N = its address\n"
        "  read coils 01 / inputs 02        A 01|02 01 BYTE CRC (bit k = Yk / Xk)\n"
        "  write register 06                echo; 0069 resets (relays off; address, program\n"
        "                                   and reporting kept), 1370 switches input\n"
        "                                   reporting, 0000 takes a new address 1..255\n"
        "  write coils 0F                   A 0F start count CRC, relays written\n"
        "  program step 10 0077 (5 bytes)   A 10 00 77 00 03 CRC, step stored\n"
        "  direct output 88                 relays written as the OR of the eight output\n"
        "                                   bytes; no answer\n"
        "  other functions or registers     MODBUS exception answer A fn|80 code CRC\n"
        "  Requests with a bad CRC or for another address are ignored; broadcasts\n"
        "  (address 0) are carried out without an answer, except the search.\n"
        "  While reporting is on, every input change sends A 02 01 INPUTS CRC.\n"
        "\n"
        "How the program drives the relays:\n"
        "  A step whose AND and OR masks are both 0 is inactive. An active step drives\n"
        "  its output relays ON while all of its AND inputs are on (when its AND mask\n"
        "  is not 0) and at least one of its OR inputs is on (when its OR mask is not\n"
        "  0). A relay shows ON when some active step drives it; otherwise it keeps the\n"
        "  state last written by a relay write (write coils, direct output, reset).\n"
        "  Reading the coils returns the relays as they show.\n");
}

} // namespace board
