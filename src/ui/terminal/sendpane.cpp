// The send pane: the send box with its typing rule, sending it once or
// periodically.
#include "terminal/sendpane.h"

#include "app/messages.h"
#include "app/widgets.h"
#include "serial/serialport.h"
#include "terminal/gbk.h"
#include "terminal/sendbox.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

SendPane::SendPane(QWidget *host, SerialPort *port, Messages *messages)
    : QObject(host), MSComm(port), m_messages(messages)
{
    setObjectName(QStringLiteral("sendPane"));
    ui::place<QLabel>(host, QStringLiteral("LblSend"), 1224, 300, 160, 18, QStringLiteral("发送的字符/数据"));

    TxtSend = ui::place<QPlainTextEdit>(host, QStringLiteral("TxtSend"), 1224, 320, 400, 150);
    TxtSend->setFont(ui::simSun(18));
    // One line of the box is one line of the pattern: no wrapping, so the
    // caret's line is always the pattern's line.
    TxtSend->setLineWrapMode(QPlainTextEdit::NoWrap);
    TxtSend->setPlainText(sendbox::initialPlainText());
    new ui::EventHook(TxtSend, [this](QEvent *e) {
        // Characters composed by an input method arrive as a commit, not as
        // key presses; they go through the same rule, character by character.
        if (e->type() == QEvent::InputMethod) {
            const QString commit = static_cast<QInputMethodEvent *>(e)->commitString();
            if (commit.isEmpty())
                return false;
            // End the composition, then type the committed characters one by one.
            QInputMethodEvent cleared;
            QCoreApplication::sendEvent(TxtSend, &cleared);
            for (const QChar c : commit) {
                if (!TxtSend_KeyPress(c.unicode()))
                    TxtSend->insertPlainText(QString(c));
            }
            return true;
        }
        if (e->type() != QEvent::KeyPress)
            return false;
        auto *ke = static_cast<QKeyEvent *>(e);
        char16_t code = 0;
        if (ke->key() == Qt::Key_Backspace)
            code = sendbox::kBackspace;
        else if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter)
            code = sendbox::kEnter;
        else if (!ke->text().isEmpty())
            code = ke->text().at(0).unicode();
        else
            return false; // editing keys without a character pass unfiltered
        return TxtSend_KeyPress(code);
    });

    ChkHexSend = ui::place<QCheckBox>(host, QStringLiteral("ChkHexSend"), 1640, 320, 17, 17);
    ui::place<QLabel>(host, QStringLiteral("Label11"), 1660, 320, 110, 17, QStringLiteral("十六进制发送"));
    ChkAutoSend = ui::place<QCheckBox>(host, QStringLiteral("ChkAutoSend"), 1640, 344, 17, 17);
    auto *LblAutoSend = ui::place<QLabel>(host, QStringLiteral("LblAutoSend"), 1660, 344, 136, 34,
                                    QStringLiteral("自动发送(周期改变后重选)"));
    LblAutoSend->setWordWrap(true);
    ui::place<QLabel>(host, QStringLiteral("LblArtoSendCyc"), 1640, 384, 110, 17,
                                       QStringLiteral("自动发送周期："));
    TxtAutoSendTime = ui::place<QLineEdit>(host, QStringLiteral("TxtAutoSendTime"), 1640, 404, 60, 21,
                                           QStringLiteral("1000"));
    (void)ui::place<QLabel>(host, QStringLiteral("Label14"), 1704, 404, 40, 21, QStringLiteral("毫秒"));
    auto *CmdSend = ui::place<QPushButton>(host, QStringLiteral("CmdSend"), 1640, 436, 73, 25, QStringLiteral("发送"));
    auto *CmdClearSend = ui::place<QPushButton>(host, QStringLiteral("CmdClearSend"), 1720, 436, 73, 25,
                                          QStringLiteral("清空重填"));

    connect(CmdSend, &QPushButton::clicked, this, &SendPane::CmdSend_Click);
    connect(CmdClearSend, &QPushButton::clicked, this, &SendPane::CmdClearSend_Click);
    connect(ChkAutoSend, &QCheckBox::toggled, this, &SendPane::ChkAutoSend_Click);
    TmrAutoSend = new QTimer(this);
    TmrAutoSend->setObjectName(QStringLiteral("TmrAutoSend"));
    TmrAutoSend->setInterval(0);
    // Periods are kept to the millisecond (a coarse timer may fire a little early).
    TmrAutoSend->setTimerType(Qt::PreciseTimer);
    connect(TmrAutoSend, &QTimer::timeout, this, &SendPane::TmrAutoSend_Timer);
}

void SendPane::stop()
{
    TmrAutoSend->stop();
}

bool SendPane::HexSendOn() const
{
    return ChkHexSend->isChecked();
}

void SendPane::GetCaretPos(QPlainTextEdit *box, qint32 &LineNo, qint32 &ColNo)
{
    // The line holds the start of the selection; the column is measured to
    // its end (the caret, when nothing is selected).
    const QTextCursor c = box->textCursor();
    const QTextBlock line = box->document()->findBlock(c.selectionStart());
    LineNo = line.blockNumber() + 1;
    ColNo = c.selectionEnd() - line.position() + 1;
}

QString SendPane::SendBoxText() const
{
    return sendbox::boxText(TxtSend->toPlainText());
}

bool SendPane::TxtSend_KeyPress(char16_t KeyAscii)
{
    qint32 line = 0, col = 0;
    GetCaretPos(TxtSend, line, col);
    const sendbox::KeyDecision d = sendbox::keyPress(line, col, KeyAscii);
    switch (d.action) {
    case sendbox::KeyAction::Accept:
        return false;
    case sendbox::KeyAction::Refuse:
        return true;
    case sendbox::KeyAction::Convert: {
        QTextCursor c = TxtSend->textCursor();
        c.insertText(QString(QChar(d.ch)));
        TxtSend->setTextCursor(c);
        return true;
    }
    case sendbox::KeyAction::Warn:
        m_messages->show(sendbox::lengthWarning(), Dialogs::Warning);
        return true;
    }
    return true;
}

void SendPane::SendBox()
{
    // Counting is left to the port's report of bytes written.
    const QByteArray bytes =
        ChkHexSend->isChecked() ? sendbox::hexBytes(SendBoxText()) : gbk::encode(SendBoxText());
    if (!bytes.isEmpty())
        MSComm->output(bytes);
}

void SendPane::CmdSend_Click()
{
    if (!MSComm->portOpen()) {
        m_messages->show(Messages::portNotOpen(), Dialogs::Warning);
        return;
    }
    SendBox();
}

void SendPane::TmrAutoSend_Timer()
{
    // A closed port makes a tick do nothing, without a message each period.
    if (!MSComm->portOpen())
        return;
    SendBox();
}

void SendPane::CmdClearSend_Click()
{
    TxtSend->clear();
}

void SendPane::ChkAutoSend_Click()
{
    if (!ChkAutoSend->isChecked()) {
        TmrAutoSend->stop();
        return;
    }
    if (!MSComm->portOpen()) {
        ChkAutoSend->setChecked(false); // runs this handler again, which stops the timer
        m_messages->show(Messages::portNotOpen(), Dialogs::Warning);
        return;
    }
    const qint64 ms = sendbox::periodMilliseconds(TxtAutoSendTime->text());
    if (ms < 0)
        return; // no timer takes this period: the timer stays as it was
    TmrAutoSend->setInterval(int(ms));
    // A period of 0 leaves the timer inactive (a Qt timer of 0 would fire
    // at every pass of the event loop).
    if (ms > 0)
        TmrAutoSend->start();
    else
        TmrAutoSend->stop();
}
