#pragma once

#include "terminal/gbk.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QCheckBox;
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
    // Replaces the box's text.
    void setReceiveBox(const QString &text);

public slots:
    // The port's event: received data (2); the send event (1) needs nothing.
    void MSComm_OnComm();
    void CmdStopdisp_Click();
    void CmdClearReceive_Click();

signals:
    // The bytes of one receive event, as they came (for the answer checks).
    void bytesReceived(const QByteArray &bytes);

private:
    // Appends at the end of the receive box; the caret stays unless moveCaret.
    // The text is collected and put into the box every few milliseconds:
    // each insertion lays out the box's whole paragraph again, and the
    // hexadecimal display is one long line, so it goes in a limited piece
    // per update while a stream faster than the box is coming in.
    void appendReceiveBox(const QString &text, bool moveCaret);
    // One timed update of the box; all of it goes in with flushReceiveBox().
    void updateReceiveBox();
    // Puts up to limit waiting characters into the box.
    void insertReceived(int limit);
    void autoClearReceiveBox();

    SerialPort *MSComm;
    ReplyStream *m_replies;
    TrafficCounters *m_counters;
    QPlainTextEdit *TxtReceive = nullptr;
    QCheckBox *ChkHexReceive = nullptr;
    QCheckBox *ChkAutoClear = nullptr;
    QPushButton *CmdStopdisp = nullptr;
    QString m_pendingReceive;
    bool m_pendingMoveCaret = false;
    QTimer *m_receiveFlush = nullptr;
    QElapsedTimer m_pendingSince;
    // Keeps a double-byte character split across receive events whole.
    gbk::StreamDecoder m_rxDecoder;
};
