// The receive pane: the port's receive event, the receive box with its
// buttons, feeding the reply parser and the RX counter.
#include "terminal/receivepane.h"

#include "app/recentlayout.h"
#include "app/steadyscrollbar.h"
#include "app/widgets.h"
#include "protocol/replystream.h"
#include "serial/serialport.h"
#include "terminal/receiveformat.h"
#include "terminal/trafficcounters.h"
#include "timing.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextOption>
#include <QTimer>

#include <algorithm>
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
    // The box repaints its newest lines with every frame of a stream: their
    // glyphs are kept rather than shaped again for each paint.
    ui::RecentLayout::install(TxtReceive);
    m_bar = new ui::SteadyScrollBar(Qt::Vertical);
    TxtReceive->setVerticalScrollBar(m_bar);
    TxtReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Connected after the box's own handler: the view has moved when it runs.
    connect(m_bar, &QScrollBar::valueChanged, this, &ReceivePane::layOutAboveView);
    // The box is a working buffer rewritten many times a second: no undo history.
    TxtReceive->setUndoRedoEnabled(false);
    // Lines break at the box's edge, as on a terminal. Breaking at word
    // boundaries would lay out a long run without spaces (all of the
    // hexadecimal display is one) in time that grows with its square.
    TxtReceive->setWordWrapMode(QTextOption::WrapAnywhere);
    m_receiveFlush = new QTimer(this);
    m_receiveFlush->setObjectName(QStringLiteral("receiveFrame"));
    m_receiveFlush->setSingleShot(true);
    connect(m_receiveFlush, &QTimer::timeout, this, &ReceivePane::updateReceiveBox);
    // What the user types into the box is part of its text from then on:
    // the document holds it.
    TxtReceive->viewport()->installEventFilter(this);

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
    return boxText(0, qMin<qsizetype>(count, boxSize()));
}

void ReceivePane::setReceiveBox(const QString &text)
{
    // The parser rewrites the box with the text still waiting; mostly that is
    // the box's own text, or it without the head the parser consumed. Only
    // the end of the box is compared, as long as that text.
    const qsizetype size = boxSize();
    if (text.size() <= size && boxText(size - text.size(), text.size()) == text) {
        if (text.size() == size)
            return;
        dropBoxHead(size - text.size());
    } else {
        m_text = text;
        m_reset = true;
        m_docDrop = 0;
    }
    m_caretToStart = true;
    scheduleFrame();
}

namespace {
// Drops a string's first count characters within its buffer, so that the
// room stays at its end where the next appends go. QString::remove leaves it
// at the front, where appending reuses it only in a buffer a third empty.
void dropHead(QString &text, qsizetype count)
{
    const qsizetype keep = text.size() - count;
    QChar *chars = text.data();
    std::copy(chars + count, chars + count + keep, chars);
    text.truncate(keep);
}
} // namespace

void ReceivePane::dropBoxHead(qsizetype count)
{
    count = qBound<qsizetype>(0, count, boxSize());
    if (count == 0)
        return;
    const qsizetype inDoc = docPart();
    if (count <= inDoc) {
        m_docDrop += count;
        return;
    }
    // All of the document's text goes, and the head of what waits for it.
    m_reset = true;
    m_docDrop = 0;
    dropHead(m_text, count - inDoc);
}

void ReceivePane::clearBoxText()
{
    m_text.clear();
    m_reset = true;
    m_docDrop = 0;
    m_caretToStart = true;
}

qsizetype ReceivePane::docPart() const
{
    if (m_reset)
        return 0;
    // The user may have taken text out of the document since the drop was counted.
    return qMax<qsizetype>(0, TxtReceive->document()->characterCount() - 1 - m_docDrop);
}

qsizetype ReceivePane::boxSize() const
{
    return docPart() + m_text.size();
}

QString ReceivePane::boxText(qsizetype from, qsizetype count) const
{
    QString text;
    const qsizetype inDoc = docPart();
    if (from < inDoc) {
        // Read without a cursor: placing one lays out its line, and the
        // hexadecimal display is one line of up to a million characters. A
        // short piece (the parser's head, its rewrite) is looked up character
        // by character; a long one is taken from a copy of the document's text.
        const QTextDocument *doc = TxtReceive->document();
        const qsizetype start = m_docDrop + from;
        const qsizetype n = qMin(count, inDoc - from);
        if (n <= 1024) {
            text.resize(n);
            for (qsizetype i = 0; i < n; ++i)
                text[i] = doc->characterAt(int(start + i));
        } else {
            text = doc->toRawText().mid(start, n);
        }
        // As the box's plain text gives it: line breaks as LF.
        for (QChar &ch : text) {
            switch (ch.unicode()) {
            case 0xfdd0: // a frame's start and end
            case 0xfdd1:
            case QChar::ParagraphSeparator:
            case QChar::LineSeparator:
                ch = u'\n';
                break;
            case QChar::Nbsp:
                ch = u' ';
                break;
            default:
                break;
            }
        }
        count -= n;
        from = inDoc;
    }
    if (count > 0)
        text += QStringView(m_text).mid(from - inDoc, count);
    return text;
}

bool ReceivePane::boxBehind() const
{
    return m_reset || m_docDrop > 0 || !m_text.isEmpty();
}

bool ReceivePane::boxInView() const
{
    return !TxtReceive->visibleRegion().isEmpty();
}

void ReceivePane::appendReceiveBox(const QString &text, bool moveCaret)
{
    if (text.isEmpty())
        return;
    if (!boxBehind())
        m_pendingSince.start();
    // A long waiting text (a box out of view) gets one buffer of the box's
    // largest size, rather than one twice as large as it grows past a power of two.
    const qsizetype needed = m_text.size() + text.size();
    if (needed > m_text.capacity() && needed > receive::kBoxKeep / 2)
        m_text.reserve(qMax(needed, receive::kBoxLimit + receive::kTextUpdateLimit));
    m_text += text;
    m_pendingMoveCaret = m_pendingMoveCaret || moveCaret;
    // Keep the box bounded: drop the oldest text in one go once it is too long.
    const qsizetype size = boxSize();
    if (size > receive::kBoxLimit)
        dropBoxHead(size - receive::kBoxKeep);
    // Put in after the frame time, or once a fast text stream has collected
    // enough that one update would take long.
    if (moveCaret && m_text.size() >= receive::kTextUpdateLimit && boxInView())
        syncBox(m_text.size(), true);
    else
        scheduleFrame();
}

qint64 ReceivePane::msToFrame() const
{
    qint64 wait = timing::kDisplayFrame - (m_pendingSince.isValid() ? m_pendingSince.elapsed() : 0);
    if (m_lastFrame.isValid())
        wait = qMax(wait, timing::kStreamFrame - m_lastFrame.elapsed());
    return wait;
}

void ReceivePane::scheduleFrame()
{
    if (!boxBehind())
        return;
    // A frame already due runs at once: under a busy loop its timer comes late.
    const qint64 wait = msToFrame();
    if (wait <= 0)
        updateReceiveBox();
    else if (!m_receiveFlush->isActive())
        m_receiveFlush->start(int(wait));
}

void ReceivePane::flushReceiveBox()
{
    syncBox(m_text.size());
}

void ReceivePane::updateReceiveBox()
{
    m_receiveFlush->stop();
    emit displayFrame();
    const bool wasInView = m_inView;
    m_inView = boxInView();
    if (!m_inView) {
        // Nothing to lay out or paint; the box catches up when it is painted.
        m_pendingSince.invalidate();
        return;
    }
    // Hexadecimal text (the caret stays) goes in a limited piece at a time,
    // except into a box that just came into view.
    syncBox(!wasInView || m_pendingMoveCaret ? m_text.size() : receive::kHexUpdateLimit, wasInView);
}

bool ReceivePane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != TxtReceive->viewport())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Paint:
        // A box that comes into view (the window widened, a scroll area
        // scrolled) shows the whole current text in its first frame.
        if (!m_inView) {
            m_inView = true;
            syncBox(m_text.size());
        }
        break;
    case QEvent::MouseButtonDblClick:
        m_doubleClick.start();
        m_doubleClickAt = static_cast<QMouseEvent *>(event)->position().toPoint();
        break;
    case QEvent::MouseButtonPress:
        if (selectLineOnTripleClick(static_cast<QMouseEvent *>(event)))
            return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void ReceivePane::layOutAboveView()
{
    // The box counts a paragraph it has not laid out yet as one line, and
    // scrolls by lines: a step up into paragraphs of many lines would jump
    // to the start of the one above. The paragraphs a page above the view
    // are laid out, so that every step up is one line.
    QAbstractTextDocumentLayout *layout = TxtReceive->document()->documentLayout();
    const QTextBlock top = TxtReceive->cursorForPosition(QPoint(0, 0)).block();
    int lines = 0;
    for (QTextBlock block = top.previous(); block.isValid() && lines < m_bar->pageStep(); block = block.previous()) {
        layout->blockBoundingRect(block); // lays it out if it is not
        lines += qMax(1, block.lineCount());
    }
}

bool ReceivePane::selectLineOnTripleClick(const QMouseEvent *event)
{
    // The box selects a paragraph on a triple click. A stream's lines that
    // share a paragraph (joined by line separators) are selected one by one
    // as well: the line under the click with its line break.
    const QPoint at = event->position().toPoint();
    const QStyleHints *hints = QGuiApplication::styleHints();
    const bool triple = event->button() == Qt::LeftButton && m_doubleClick.isValid()
        && m_doubleClick.elapsed() < hints->mouseDoubleClickInterval()
        && (at - m_doubleClickAt).manhattanLength() < hints->startDragDistance();
    m_doubleClick.invalidate();
    if (!triple)
        return false;
    const QTextCursor clicked = TxtReceive->cursorForPosition(at);
    const QTextBlock block = clicked.block();
    const QString text = block.text();
    const QChar separator(QChar::LineSeparator);
    if (!text.contains(separator))
        return false;
    const int inBlock = clicked.position() - block.position();
    const int start = inBlock == 0 ? 0 : int(text.lastIndexOf(separator, inBlock - 1)) + 1;
    const int next = int(text.indexOf(separator, inBlock));
    // The last line ends with the paragraph's break, as a paragraph's selection does.
    const int end = next < 0 ? qMin(block.length(), block.document()->characterCount() - 1 - block.position())
                             : next + 1;
    QTextCursor line(block);
    line.setPosition(block.position() + start);
    line.setPosition(block.position() + end, QTextCursor::KeepAnchor);
    TxtReceive->setTextCursor(line);
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection())
        clipboard->setText(line.selection().toPlainText(), QClipboard::Selection);
    return true;
}

void ReceivePane::syncBox(qsizetype limit, bool stream)
{
    m_receiveFlush->stop();
    if (!boxBehind()) {
        m_pendingSince.invalidate();
        return;
    }
    QTextDocument *doc = TxtReceive->document();
    const bool moveCaret = m_pendingMoveCaret;
    // The bar's range grows with the text, then its value follows the caret:
    // one paint at most, for where the handle ends up.
    ui::SteadyScrollBar *bar = m_bar;
    bar->holdPaint();
    const auto release = qScopeGuard([bar] { bar->releasePaint(); });
    // The waiting text the document takes now; the rest keeps waiting.
    // Once all of it is taken its buffer goes too: a document in step holds
    // the only copy of the box's text.
    auto take = [this, limit, stream] {
        QString text;
        if (limit >= m_text.size()) {
            text = std::exchange(m_text, QString());
        } else {
            text = m_text.left(limit);
            dropHead(m_text, text.size());
        }
        if (stream && text.size() >= receive::kGroupedUpdate)
            receive::groupLines(text, receive::kLineGroup);
        return text;
    };
    qsizetype position = 0, anchor = 0;
    if (m_reset) {
        // As setPlainText would: the caret at the start. A long text goes in
        // piece by piece like appended text.
        TxtReceive->setPlainText(take());
        m_reset = false;
        m_caretToStart = false;
        m_docDrop = 0;
    } else {
        const QTextCursor caret = TxtReceive->textCursor();
        position = caret.position();
        anchor = caret.anchor();
        if (m_docDrop > 0) {
            QTextCursor head(doc);
            head.setPosition(int(qMin<qsizetype>(m_docDrop, doc->characterCount() - 1)), QTextCursor::KeepAnchor);
            head.removeSelectedText();
            position = qMax<qsizetype>(0, position - m_docDrop);
            anchor = qMax<qsizetype>(0, anchor - m_docDrop);
            m_docDrop = 0;
        }
        if (m_caretToStart) {
            position = anchor = 0;
            m_caretToStart = false;
        }
        const QString text = take();
        if (!text.isEmpty()) {
            QTextCursor end(doc);
            end.movePosition(QTextCursor::End);
            end.insertText(text);
        }
    }
    m_lastFrame.start();
    if (boxBehind()) {
        m_pendingSince.start();
        m_receiveFlush->start(int(msToFrame()));
    } else {
        m_pendingMoveCaret = false;
        m_pendingSince.invalidate();
    }

    if (moveCaret) {
        TxtReceive->moveCursor(QTextCursor::End);
        return;
    }
    // A caret at the end would follow the inserted text; put it back.
    const QTextCursor now = TxtReceive->textCursor();
    if (now.position() != position || now.anchor() != anchor) {
        QTextCursor c(doc);
        c.setPosition(int(anchor));
        c.setPosition(int(position), QTextCursor::KeepAnchor);
        TxtReceive->setTextCursor(c);
    }
}

void ReceivePane::autoClearReceiveBox()
{
    if (!ChkAutoClear->isChecked() || m_counters->RxTotal() < receive::kAutoClearBytes)
        return;
    // Already empty, or about to be emptied: nothing more to do.
    if (boxSize() == 0)
        return;
    clearBoxText();
    scheduleFrame();
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
        emit bytesReceived(bytes);
        const QString chunk = receive::hexText(bytes);
        appendReceiveBox(chunk, false);
        // These bytes were shown as hexadecimal: a character half received
        // in text mode before them can never be completed.
        m_rxDecoder.reset();
        m_rxCr = false;
        m_counters->addReceived(bytes.size());
        autoClearReceiveBox();
        m_replies->feed(chunk);
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
    if (!bytes.isEmpty())
        emit bytesReceived(bytes);
    m_counters->addReceived(bytes.size());
    QString text = m_rxDecoder.decode(bytes);
    receive::joinCrLf(text, m_rxCr);
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
    clearBoxText();
    syncBox(0);
}
