#pragma once

#include <QObject>
#include <QString>

class Messages;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QWidget;
class SerialPort;

// The send pane: the send box with its typing rule, sending it once or
// periodically, as GBK text or as hexadecimal bytes.
class SendPane : public QObject
{
    Q_OBJECT
public:
    SendPane(QWidget *host, SerialPort *port, Messages *messages);

    // 1-based line and column of the caret of a text box (column - 1
    // characters stand before it on its line).
    static void GetCaretPos(QPlainTextEdit *box, qint32 &LineNo, qint32 &ColNo);
    // The send box's text with CR LF line ends.
    QString SendBoxText() const;
    // The hexadecimal-send box is ticked.
    bool HexSendOn() const;
    void stop();

public slots:
    void CmdSend_Click();
    void CmdClearSend_Click();
    void ChkAutoSend_Click();
    void TmrAutoSend_Timer();

private:
    // Returns true when the key was dealt with (refused or converted).
    bool TxtSend_KeyPress(char16_t KeyAscii);
    void SendBox();

    SerialPort *MSComm;
    Messages *m_messages;
    QPlainTextEdit *TxtSend = nullptr;
    QCheckBox *ChkHexSend = nullptr;
    QCheckBox *ChkAutoSend = nullptr;
    QLineEdit *TxtAutoSendTime = nullptr;
    QTimer *TmrAutoSend = nullptr;
};
