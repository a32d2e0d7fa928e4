// Receive path of the main window: the port event, the receive box with its
// buttons and counters, and the reply parser tick that applies the board's
// answers.
#include "app/relay.h"

#include "app/widgets.h"
#include "protocol/replyparser.h"
#include "serial/serialport.h"
#include "terminal/receiveformat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <QTimer>

#include <utility>

namespace {
const QString kStopDisplay = QStringLiteral("停止显示");
const QString kContinueDisplay = QStringLiteral("继续显示");
} // namespace

void relay::buildTerminalReceive()
{
    LblReceive = ui::place<QLabel>(this, QStringLiteral("LblReceive"), 1340, 8, 80, 17, QStringLiteral("接收区"));
    TxtReceive = ui::place<QPlainTextEdit>(this, QStringLiteral("TxtReceive"), 1340, 28, 450, 200);
    TxtReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The box is a working buffer rewritten many times a second: no undo history.
    TxtReceive->setUndoRedoEnabled(false);
    // Lines break at the box's edge, as on a terminal. Breaking at word
    // boundaries would lay out a long run without spaces (all of the
    // hexadecimal display is one) in time that grows with its square.
    TxtReceive->setWordWrapMode(QTextOption::WrapAnywhere);
    m_receiveFlush = new QTimer(this);
    m_receiveFlush->setSingleShot(true);
    m_receiveFlush->setInterval(15);
    connect(m_receiveFlush, &QTimer::timeout, this, &relay::updateReceiveBox);

    ChkHexReceive = ui::place<QCheckBox>(this, QStringLiteral("ChkHexReceive"), 1340, 240, 17, 17);
    ChkHexReceive->setChecked(true);
    Label10 = ui::place<QLabel>(this, QStringLiteral("Label10"), 1360, 240, 90, 17, QStringLiteral("十六进制显示"));
    ChkAutoClear = ui::place<QCheckBox>(this, QStringLiteral("ChkAutoClear"), 1460, 240, 17, 17);
    LblArtoclear = ui::place<QLabel>(this, QStringLiteral("LblArtoclear"), 1480, 240, 70, 17, QStringLiteral("自动清空"));
    for (QLabel *l : {LblReceive, Label10, LblArtoclear})
        ui::setBackground(l, ui::darkGreen());

    CmdStopdisp = ui::place<QPushButton>(this, QStringLiteral("CmdStopdisp"), 1560, 236, 90, 25, kStopDisplay);
    CmdClearReceive =
        ui::place<QPushButton>(this, QStringLiteral("CmdClearReceive"), 1660, 236, 100, 25, QStringLiteral("清空接收区"));
    connect(CmdStopdisp, &QPushButton::clicked, this, &relay::CmdStopdisp_Click);
    connect(CmdClearReceive, &QPushButton::clicked, this, &relay::CmdClearReceive_Click);
}

bool relay::HexReceiveOn() const
{
    return !ChkHexReceive || ChkHexReceive->isChecked();
}

QString relay::receiveBoxText()
{
    flushReceiveBox();
    return TxtReceive->toPlainText();
}

QString relay::receiveBoxHead(int count)
{
    // Read character by character: the hexadecimal text is one long line,
    // and copying the first block would copy all of it.
    const QTextDocument *doc = TxtReceive->document();
    const int n = qMin(count, doc->characterCount() - 1);
    QString head;
    head.reserve(qMax(n, 0));
    for (int i = 0; i < n; ++i)
        head += doc->characterAt(i);
    // Text still waiting to go in follows the box's own.
    if (head.size() < count)
        head += m_pendingReceive.left(count - head.size());
    return head;
}

void relay::setReceiveBox(const QString &text)
{
    m_pendingReceive.clear();
    TxtReceive->setPlainText(text);
}

void relay::appendReceiveBox(const QString &text, bool moveCaret)
{
    if (text.isEmpty())
        return;
    if (m_pendingReceive.isEmpty())
        m_pendingSince.start();
    m_pendingReceive += text;
    m_pendingMoveCaret = m_pendingMoveCaret || moveCaret;
    // Whatever lies beyond the box's limit would be dropped on insertion anyway.
    if (m_pendingReceive.size() > receive::kBoxLimit)
        m_pendingReceive.remove(0, m_pendingReceive.size() - receive::kBoxKeep);
    // Put in after the update time, or once a fast text stream has collected
    // enough that one update would take long.
    if (moveCaret && m_pendingReceive.size() >= receive::kTextUpdateLimit)
        flushReceiveBox();
    else if (m_pendingSince.elapsed() >= m_receiveFlush->interval())
        updateReceiveBox();
    else if (!m_receiveFlush->isActive())
        m_receiveFlush->start();
}

void relay::flushReceiveBox()
{
    insertReceived(int(m_pendingReceive.size()));
}

void relay::updateReceiveBox()
{
    // Hexadecimal text (the caret stays) goes in a limited piece at a time.
    insertReceived(m_pendingMoveCaret ? int(m_pendingReceive.size()) : receive::kHexUpdateLimit);
}

void relay::insertReceived(int limit)
{
    m_receiveFlush->stop();
    if (m_pendingReceive.isEmpty())
        return;
    const QString text = m_pendingReceive.left(limit);
    m_pendingReceive.remove(0, text.size());
    const bool moveCaret = m_pendingMoveCaret;
    if (m_pendingReceive.isEmpty()) {
        m_pendingMoveCaret = false;
    } else {
        m_pendingSince.start();
        m_receiveFlush->start();
    }
    QTextDocument *doc = TxtReceive->document();
    const QTextCursor caret = TxtReceive->textCursor();
    const int position = caret.position();
    const int anchor = caret.anchor();

    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    end.insertText(text);

    // Keep the box bounded: drop the oldest text in one go once it is too long.
    const int length = doc->characterCount() - 1;
    int dropped = 0;
    if (length > receive::kBoxLimit) {
        dropped = length - receive::kBoxKeep;
        QTextCursor head(doc);
        head.setPosition(dropped, QTextCursor::KeepAnchor);
        head.removeSelectedText();
    }

    if (moveCaret) {
        TxtReceive->moveCursor(QTextCursor::End);
        return;
    }
    // A caret at the end would follow the inserted text; put it back.
    const QTextCursor now = TxtReceive->textCursor();
    const int wantPosition = qMax(0, position - dropped);
    const int wantAnchor = qMax(0, anchor - dropped);
    if (now.position() != wantPosition || now.anchor() != wantAnchor) {
        QTextCursor c(doc);
        c.setPosition(wantAnchor);
        c.setPosition(wantPosition, QTextCursor::KeepAnchor);
        TxtReceive->setTextCursor(c);
    }
}

void relay::autoClearReceiveBox()
{
    if (!ChkAutoClear->isChecked() || RxTotal < receive::kAutoClearBytes)
        return;
    m_pendingReceive.clear();
    if (!TxtReceive->document()->isEmpty())
        TxtReceive->clear();
}

void relay::MSComm_OnComm()
{
    switch (MSComm->commEvent()) {
    case SerialPort::comEvReceive:
        if (HexReceiveOn())
            ReceiveHex();
        else
            ReceiveText();
        if (Timer2->isActive() && m_lastParserTick.elapsed() >= Timer2->interval() + Timer2->interval() / 2)
            Timer2_Timer();
        break;
    case SerialPort::comEvSend:
        CountSentText();
        break;
    default:
        break;
    }
}

void relay::ReceiveHex()
{
    QByteArray bytes;
    if (MSComm->inBufferCount() > 0)
        bytes = MSComm->input();
    if (!bytes.isEmpty()) {
        const QString chunk = receive::hexText(bytes);
        appendReceiveBox(chunk, false);
        tempstatus += chunk;
        // These bytes were shown as hexadecimal: a character half received
        // in text mode before them can never be completed.
        m_rxDecoder.reset();
    }
    RxTotal += bytes.size();
    TxtRXCount->setText(QStringLiteral("RX:") + QString::number(RxTotal));
    autoClearReceiveBox();
}

void relay::ReceiveText()
{
    // The port hands over raw bytes; they are counted as they came and
    // decoded from GBK with a decoder that keeps a split character.
    const QByteArray bytes = MSComm->input();
    RxTotal += bytes.size();
    const QString text = m_rxDecoder.decode(bytes);
    if (!DisplayStopped)
        appendReceiveBox(text, true);
    TxtRXCount->setText(QStringLiteral("RX:") + QString::number(RxTotal));
    autoClearReceiveBox();
}

void relay::CmdStopdisp_Click()
{
    DisplayStopped = !DisplayStopped;
    CmdStopdisp->setText(DisplayStopped ? kContinueDisplay : kStopDisplay);
}

void relay::CmdClearReceive_Click()
{
    m_pendingReceive.clear();
    TxtReceive->clear();
}

void relay::Timer2_Timer()
{
    m_lastParserTick.restart();
    const ReplyTick t =
        ReplyParser::tick(tempstatus, receiveBoxHead(int(ReplyParser::kAnswerLength)), Combo1->currentText());
    if (t.inputs)
        ApplyInputState(*t.inputs);
    if (t.relays)
        ApplyRelayState(*t.relays);
    // Written only when it differs, so typing in the box is not disturbed
    // while the same search answer is seen tick after tick.
    if (t.address && Combo1->currentText() != *t.address)
        Combo1->setEditText(*t.address);
    if (t.receiveRewritten)
        setReceiveBox(tempstatus);
}
