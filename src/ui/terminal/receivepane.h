#pragma once

#include "terminal/gbk.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QString>

namespace ui {
class SteadyScrollBar;
}
class QCheckBox;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;
class ReplyStream;
class SerialPort;
class TrafficCounters;

// The receive pane: the receive box with its display switches and buttons,
// and the port's receive event. Received bytes go into the box (as
// hexadecimal text or GBK text), into the reply parser (hexadecimal only)
// and into the RX counter.
class ReceivePane : public QObject
{
    Q_OBJECT
public:
    ReceivePane(QWidget *host, SerialPort *port, ReplyStream *replies, TrafficCounters *counters);

    // The hexadecimal-display box is ticked.
    bool HexReceiveOn() const;
    // True while received text (text mode only) is not shown.
    bool DisplayStopped = false;
    // Received data: hexadecimal text into the box and the parser, or GBK text into the box.
    void ReceiveHex();
    void ReceiveText();
    // The receive box's text with every received piece in it.
    QString receiveBoxText();
    // Puts the received text still waiting into the receive box now.
    void flushReceiveBox();
    // The first characters of the receive box (what the reply parser looks at).
    QString receiveBoxHead(int count);
    // Replaces the box's text. A text equal to the box's changes nothing; one
    // that is the box's text without its head only drops that head.
    void setReceiveBox(const QString &text);

signals:
    // Every piece of received bytes, as read from the port, in either mode.
    void bytesReceived(const QByteArray &bytes);
    // The receive box's frame: whatever else a stream changes on screen (the
    // RX counter) is best shown now, so that one repaint covers both.
    void displayFrame();

public slots:
    // The port's event: received data (2); the send event (1) needs nothing.
    void MSComm_OnComm();
    void CmdStopdisp_Click();
    void CmdClearReceive_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The box's text is the document's text without its first m_docDrop
    // characters (none of it when m_reset), followed by m_text: what was
    // received since the document last took text. The document takes
    // m_text once a frame (kDisplayFrame after the first new text,
    // kStreamFrame after the frame before), and only while some of the box
    // can be seen: every insertion lays out the box's paragraph again and
    // repaints. The text is held once, in the document; only what waits for
    // it is held here. The hexadecimal display is one long line, so while
    // the box is in view it takes a limited piece per frame from a stream
    // faster than that; a box that comes into view is brought up to date
    // whole before it is painted.
    //
    // Appends at the end of the receive box; the caret stays unless moveCaret.
    void appendReceiveBox(const QString &text, bool moveCaret);
    // Drops the first count characters of the box's text.
    void dropBoxHead(qsizetype count);
    // Empties the box's text.
    void clearBoxText();
    // Characters of the box's text that the document already holds, and all of them.
    qsizetype docPart() const;
    qsizetype boxSize() const;
    // count characters of the box's text from position from (within its size).
    QString boxText(qsizetype from, qsizetype count) const;
    // The document lags behind the box's text.
    bool boxBehind() const;
    // Some pixel of the box can be seen (inside the window, a scroll area, on screen).
    bool boxInView() const;
    // Asks for the next frame.
    void scheduleFrame();
    // How long until the next frame may come (0 or less: it is due).
    qint64 msToFrame() const;
    // One frame: the document takes the waiting text (in a limited piece for
    // hexadecimal text while the box is in view; not at all while it cannot be seen).
    void updateReceiveBox();
    // Brings the document up to date, taking at most limit waiting characters.
    // A stream's update (the box in view follows it) puts the lines of a long
    // text into shared paragraphs; a box brought up to date keeps one per line.
    void syncBox(qsizetype limit, bool stream = false);
    void autoClearReceiveBox();
    // A triple click on lines that share a paragraph selects the line under
    // it; true when the click was taken so.
    bool selectLineOnTripleClick(const QMouseEvent *event);
    // Lays out the paragraphs a page above the view, after the view moved.
    void layOutAboveView();

    SerialPort *MSComm;
    ReplyStream *m_replies;
    TrafficCounters *m_counters;
    QPlainTextEdit *TxtReceive = nullptr;
    ui::SteadyScrollBar *m_bar = nullptr; // TxtReceive's vertical bar
    QCheckBox *ChkHexReceive = nullptr;
    QCheckBox *ChkAutoClear = nullptr;
    QPushButton *CmdStopdisp = nullptr;
    // Text waiting for the document; characters still to be removed from the
    // document's head; the document's text is no longer the box's at all.
    QString m_text;
    qsizetype m_docDrop = 0;
    bool m_reset = false;
    // The text was replaced: the caret goes to the start, as setPlainText puts it.
    bool m_caretToStart = false;
    bool m_pendingMoveCaret = false;
    // The last frame found the box in view (or it has been painted since);
    // a box out of view is brought up to date whole when it comes into view.
    bool m_inView = false;
    QTimer *m_receiveFlush = nullptr;
    QElapsedTimer m_pendingSince; // since the box fell behind its text
    QElapsedTimer m_lastFrame;    // since the document last took text
    // The last double click in the box, for a triple click that follows it.
    QElapsedTimer m_doubleClick;
    QPoint m_doubleClickAt;
    // Keeps a double-byte character split across receive events whole.
    gbk::StreamDecoder m_rxDecoder;
    // The last received text ended with CR: an LF that starts the next is its pair.
    bool m_rxCr = false;
};
