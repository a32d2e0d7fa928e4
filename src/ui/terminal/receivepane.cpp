// The receive pane: the port's receive event, the receive box with its
// buttons, feeding the reply parser and the RX counter.
#include "terminal/receivepane.h"

#include "app/widgets.h"
#include "protocol/replystream.h"
#include "serial/serialport.h"
#include "terminal/receiveformat.h"
#include "terminal/trafficcounters.h"
#include "timing.h"

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

ReceivePane::ReceivePane(QWidget *host, SerialPort *port, ReplyStream *replies, TrafficCounters *counters)
    : QObject(host), MSComm(port), m_replies(replies), m_counters(counters)
{
    setObjectName(QStringLiteral("receivePane"));
    auto *LblReceive = ui::place<QLabel>(host, QStringLiteral("LblReceive"), 1340, 8, 80, 17, QStringLiteral("接收区"));
    TxtReceive = ui::place<QPlainTextEdit>(host, QStringLiteral("TxtReceive"), 1340, 28, 450, 200);
    TxtReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The box is a working buffer rewritten many times a second: no undo history.
    TxtReceive->setUndoRedoEnabled(false);
    // Lines break at the box's edge, as on a terminal. Breaking at word
    // boundaries would lay out a long run without spaces (all of the
    // hexadecimal display is one) in time that grows with its square.
    TxtReceive->setWordWrapMode(QTextOption::WrapAnywhere);
    m_receiveFlush = new QTimer(this);
    m_receiveFlush->setSingleShot(true);
    m_receiveFlush->setInterval(timing::kReceiveBoxUpdate);
    connect(m_receiveFlush, &QTimer::timeout, this, &ReceivePane::updateReceiveBox);

    ChkHexReceive = ui::place<QCheckBox>(host, QStringLiteral("ChkHexReceive"), 1340, 240, 17, 17);
    ChkHexReceive->setChecked(true);
    auto *Label10 = ui::place<QLabel>(host, QStringLiteral("Label10"), 1360, 240, 90, 17, QStringLiteral("十六进制显示"));
    ChkAutoClear = ui::place<QCheckBox>(host, QStringLiteral("ChkAutoClear"), 1460, 240, 17, 17);
    auto *LblArtoclear = ui::place<QLabel>(host, QStringLiteral("LblArtoclear"), 1480, 240, 70, 17, QStringLiteral("自动清空"));
    for (QLabel *l : {LblReceive, Label10, LblArtoclear})
        ui::setBackground(l, ui::darkGreen());

    CmdStopdisp = ui::place<QPushButton>(host, QStringLiteral("CmdStopdisp"), 1560, 236, 90, 25, kStopDisplay);
    auto *CmdClearReceive =
        ui::place<QPushButton>(host, QStringLiteral("CmdClearReceive"), 1660, 236, 100, 25, QStringLiteral("清空接收区"));
    connect(CmdStopdisp, &QPushButton::clicked, this, &ReceivePane::CmdStopdisp_Click);
    connect(CmdClearReceive, &QPushButton::clicked, this, &ReceivePane::CmdClearReceive_Click);
    connect(MSComm, &SerialPort::OnComm, this, &ReceivePane::MSComm_OnComm);

    // The parser looks for the search answer at the head of the box, and
    // rewrites the box when it removed text from it.
    replies->receiveHead = [this](int count) { return receiveBoxHead(count); };
    connect(replies, &ReplyStream::receiveViewRewritten, this, &ReceivePane::setReceiveBox);
}

bool ReceivePane::HexReceiveOn() const
{
    return !ChkHexReceive || ChkHexReceive->isChecked();
}

QString ReceivePane::receiveBoxText()
{
    flushReceiveBox();
    return TxtReceive->toPlainText();
}

QString ReceivePane::receiveBoxHead(int count)
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

void ReceivePane::setReceiveBox(const QString &text)
{
    m_pendingReceive.clear();
    TxtReceive->setPlainText(text);
}

void ReceivePane::appendReceiveBox(const QString &text, bool moveCaret)
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

void ReceivePane::flushReceiveBox()
{
    insertReceived(int(m_pendingReceive.size()));
}

void ReceivePane::updateReceiveBox()
{
    // Hexadecimal text (the caret stays) goes in a limited piece at a time.
    insertReceived(m_pendingMoveCaret ? int(m_pendingReceive.size()) : receive::kHexUpdateLimit);
}

void ReceivePane::insertReceived(int limit)
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

void ReceivePane::autoClearReceiveBox()
{
    if (!ChkAutoClear->isChecked() || m_counters->RxTotal() < receive::kAutoClearBytes)
        return;
    m_pendingReceive.clear();
    if (!TxtReceive->document()->isEmpty())
        TxtReceive->clear();
}

void ReceivePane::MSComm_OnComm()
{
    // The send event only says that the transmit buffer drained: the TX
    // counter counts the bytes the port reports written.
    if (MSComm->commEvent() != SerialPort::comEvReceive)
        return;
    if (HexReceiveOn())
        ReceiveHex();
    else
        ReceiveText();
}

void ReceivePane::ReceiveHex()
{
    QByteArray bytes;
    if (MSComm->inBufferCount() > 0)
        bytes = MSComm->input();
    if (!bytes.isEmpty()) {
        const QString chunk = receive::hexText(bytes);
        appendReceiveBox(chunk, false);
        // These bytes were shown as hexadecimal: a character half received
        // in text mode before them can never be completed.
        m_rxDecoder.reset();
        m_counters->addReceived(bytes.size());
        autoClearReceiveBox();
        m_replies->feed(chunk);
        emit bytesReceived(bytes);
        return;
    }
    m_counters->addReceived(0);
    autoClearReceiveBox();
    m_replies->catchUp();
}

void ReceivePane::ReceiveText()
{
    // The port hands over raw bytes; they are counted as they came and
    // decoded from GBK with a decoder that keeps a split character.
    const QByteArray bytes = MSComm->input();
    m_counters->addReceived(bytes.size());
    if (!bytes.isEmpty())
        emit bytesReceived(bytes);
    const QString text = m_rxDecoder.decode(bytes);
    if (!DisplayStopped)
        appendReceiveBox(text, true);
    autoClearReceiveBox();
    m_replies->catchUp();
}

void ReceivePane::CmdStopdisp_Click()
{
    DisplayStopped = !DisplayStopped;
    CmdStopdisp->setText(DisplayStopped ? kContinueDisplay : kStopDisplay);
}

void ReceivePane::CmdClearReceive_Click()
{
    m_pendingReceive.clear();
    TxtReceive->clear();
}
