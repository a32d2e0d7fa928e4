// Send side of the terminal: the send box with its typing rule, sending it
// (once or periodically), sending a file, saving the box; the About window
// and the web link.
#include "app/relay.h"

#include "app/frmhelp.h"
#include "app/gbk.h"
#include "app/widgets.h"
#include "serial/serialport.h"
#include "terminal/filesender.h"
#include "terminal/sendbox.h"
#include "terminal/terminalfiles.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace {

const QString kPortNotOpen = QStringLiteral("串口没有打开，请打开串口");
const QString kSendFileCaption = QStringLiteral("批量发送闪灯数据");
const QColor kLinkNormal(0, 0, 255);
const QColor kLinkHover(57, 120, 138);
// Files beyond this size are not sent (hours of line time even at high speeds).
constexpr qint64 kMaxSendFile = 16 * 1024 * 1024;

// Routes the events of one object to a function; true from it eats the event.
class EventHook : public QObject
{
public:
    EventHook(QObject *watched, std::function<bool(QEvent *)> fn) : QObject(watched), m_fn(std::move(fn))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override { return m_fn(event); }

private:
    std::function<bool(QEvent *)> m_fn;
};

void setTwoLines(QPlainTextEdit *box, const QString &first, const QString &second)
{
    box->setPlainText(first + QLatin1Char('\n') + second + QLatin1Char('\n'));
}

} // namespace

void relay::buildTerminalSend()
{
    LblSend = ui::place<QLabel>(this, QStringLiteral("LblSend"), 1224, 300, 160, 18, QStringLiteral("发送的字符/数据"));

    TxtSend = ui::place<QPlainTextEdit>(this, QStringLiteral("TxtSend"), 1224, 320, 400, 150);
    TxtSend->setFont(ui::simSun(18));
    // One line of the box is one line of the pattern: no wrapping, so the
    // caret's line is always the pattern's line.
    TxtSend->setLineWrapMode(QPlainTextEdit::NoWrap);
    TxtSend->setPlainText(sendbox::initialPlainText());
    new EventHook(TxtSend, [this](QEvent *e) {
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

    ChkHexSend = ui::place<QCheckBox>(this, QStringLiteral("ChkHexSend"), 1640, 320, 17, 17);
    Label11 = ui::place<QLabel>(this, QStringLiteral("Label11"), 1660, 320, 110, 17, QStringLiteral("十六进制发送"));
    ChkAutoSend = ui::place<QCheckBox>(this, QStringLiteral("ChkAutoSend"), 1640, 344, 17, 17);
    LblAutoSend = ui::place<QLabel>(this, QStringLiteral("LblAutoSend"), 1660, 344, 136, 34,
                                    QStringLiteral("自动发送(周期改变后重选)"));
    LblAutoSend->setWordWrap(true);
    LblArtoSendCyc = ui::place<QLabel>(this, QStringLiteral("LblArtoSendCyc"), 1640, 384, 110, 17,
                                       QStringLiteral("自动发送周期："));
    TxtAutoSendTime = ui::place<QLineEdit>(this, QStringLiteral("TxtAutoSendTime"), 1640, 404, 60, 21,
                                           QStringLiteral("1000"));
    Label14 = ui::place<QLabel>(this, QStringLiteral("Label14"), 1704, 404, 40, 21, QStringLiteral("毫秒"));
    CmdSend = ui::place<QPushButton>(this, QStringLiteral("CmdSend"), 1640, 436, 73, 25, QStringLiteral("发送"));
    CmdClearSend = ui::place<QPushButton>(this, QStringLiteral("CmdClearSend"), 1720, 436, 73, 25,
                                          QStringLiteral("清空重填"));

    CmdSelectFile = ui::place<QPushButton>(this, QStringLiteral("CmdSelectFile"), 1224, 504, 128, 25,
                                           QStringLiteral("批量选择闪灯数据"));
    TxtSendPath = ui::place<QPlainTextEdit>(this, QStringLiteral("TxtSendPath"), 1360, 496, 160, 48);
    setTwoLines(TxtSendPath, QStringLiteral("请打开批量闪灯数"), QStringLiteral("据路径及文件名"));
    CmdSendFile = ui::place<QPushButton>(this, QStringLiteral("CmdSendFile"), 1224, 552, 128, 25, kSendFileCaption);
    CmdSaveDisp = ui::place<QPushButton>(this, QStringLiteral("CmdSaveDisp"), 1528, 504, 100, 25,
                                         QStringLiteral("保存闪灯数据"));
    TxtSavePath = ui::place<QPlainTextEdit>(this, QStringLiteral("TxtSavePath"), 1632, 496, 160, 48);
    setTwoLines(TxtSavePath, QStringLiteral("请选择保存闪灯数"), QStringLiteral("据路径及文件名"));
    for (QPlainTextEdit *box : {TxtSendPath, TxtSavePath}) {
        ui::setBackground(box, ui::darkGreen());
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }

    connect(CmdSend, &QPushButton::clicked, this, &relay::CmdSend_Click);
    connect(CmdClearSend, &QPushButton::clicked, this, &relay::CmdClearSend_Click);
    connect(ChkAutoSend, &QCheckBox::toggled, this, &relay::ChkAutoSend_Click);
    // Periods are kept to the millisecond (a coarse timer may fire a little early).
    TmrAutoSend->setTimerType(Qt::PreciseTimer);
    connect(TmrAutoSend, &QTimer::timeout, this, &relay::TmrAutoSend_Timer);
    connect(CmdSelectFile, &QPushButton::clicked, this, &relay::CmdSelectFile_Click);
    connect(CmdSendFile, &QPushButton::clicked, this, &relay::CmdSendFile_Click);
    connect(CmdSaveDisp, &QPushButton::clicked, this, &relay::CmdSaveDisp_Click);

    // The TX counter counts what the port reports as written, whoever wrote
    // it: every byte once, board commands and file pieces included.
    connect(MSComm, &SerialPort::bytesWritten, this, [this](qint64 n) {
        if (n <= 0)
            return;
        TxTotal += n;
        ShowCounters();
    });

    m_fileSender = new FileSender(MSComm, this);
    connect(m_fileSender, &FileSender::progress, this, &relay::showFileSendProgress);
    connect(m_fileSender, &FileSender::finished, this, [this](FileSender::Result r) { onFileSendFinished(int(r)); });
    auto portCheck = [this] {
        if (m_fileSender->running() && !MSComm->portOpen())
            m_fileSender->portGone();
    };
    connect(MSComm, &SerialPort::portLost, this, portCheck);
    connect(this, &relay::portDisplayChanged, this, portCheck);
}

void relay::GetCaretPos(QPlainTextEdit *box, qint32 &LineNo, qint32 &ColNo) const
{
    // The line holds the start of the selection; the column is measured to
    // its end (the caret, when nothing is selected).
    const QTextCursor c = box->textCursor();
    const QTextBlock line = box->document()->findBlock(c.selectionStart());
    LineNo = line.blockNumber() + 1;
    ColNo = c.selectionEnd() - line.position() + 1;
}

QString relay::SendBoxText() const
{
    return sendbox::boxText(TxtSend->toPlainText());
}

bool relay::TxtSend_KeyPress(char16_t KeyAscii)
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
        ShowMessage(sendbox::lengthWarning(), Dialogs::Warning);
        return true;
    }
    return true;
}

void relay::SendData()
{
    // Counting is left to the port's report of bytes written.
    const QByteArray bytes = sendbox::hexBytes(SendBoxText());
    if (!bytes.isEmpty())
        MSComm->output(bytes);
}

void relay::SendBox()
{
    if (ChkHexSend->isChecked()) {
        SendData();
        return;
    }
    const QByteArray bytes = gbk::encode(SendBoxText());
    if (!bytes.isEmpty())
        MSComm->output(bytes);
}

void relay::CountSentText()
{
    // The send event only says that the transmit buffer drained. The bytes
    // were counted when the port reported them written, so nothing is added
    // here, whether file sending is armed (FileSendMode) or not.
}

void relay::CmdSend_Click()
{
    if (!RequirePortOpen())
        return;
    SendBox();
}

void relay::TmrAutoSend_Timer()
{
    // A closed port makes a tick do nothing, without a message each period.
    if (!MSComm->portOpen())
        return;
    SendBox();
}

void relay::CmdClearSend_Click()
{
    TxtSend->clear();
}

void relay::ChkAutoSend_Click()
{
    if (!ChkAutoSend->isChecked()) {
        TmrAutoSend->stop();
        return;
    }
    if (!MSComm->portOpen()) {
        ChkAutoSend->setChecked(false); // runs this handler again, which stops the timer
        ShowMessage(kPortNotOpen, Dialogs::Warning);
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

void relay::CmdSelectFile_Click()
{
    CommonDialog1.Flags = 3;
    CommonDialog1.ShowOpen();
    if (isQuitting())
        return;
    TxtSendPath->setPlainText(CommonDialog1.FileName);
}

void relay::CmdSaveDisp_Click()
{
    CommonDialog1.DialogTitle = QStringLiteral("保存文件");
    CommonDialog1.Filter = QStringLiteral("txt文件|*.txt");
    CommonDialog1.FilterIndex = 1;
    CommonDialog1.InitDir = QStringLiteral("d:\\");
    CommonDialog1.Flags = 1;
    const bool chosen = CommonDialog1.ShowSave();
    if (isQuitting())
        return;
    const QString name = chosen ? CommonDialog1.FileName : QString();
    TxtSavePath->setPlainText(name);
    if (name.trimmed().isEmpty())
        return;
    // Read, append, replace whole: the file is never left half written. A
    // file that cannot be read or written ends the save without the message.
    if (!terminalfiles::appendSaveBlock(name, SendBoxText()))
        return;
    ShowMessage(QStringLiteral("文件保存成功！"), Dialogs::Warning);
    CommonDialog1.FileName.clear();
}

bool relay::fileSending() const
{
    return m_fileSender && m_fileSender->running();
}

void relay::CmdSendFile_Click()
{
    // While a file is going out, the same button cancels it.
    if (fileSending()) {
        m_fileSender->cancel();
        return;
    }
    if (!MSComm->portOpen()) {
        ShowMessage(kPortNotOpen, Dialogs::Warning);
        return;
    }
    MSComm->setInputMode(HexReceiveOn() ? SerialPort::InputModeBinary : SerialPort::InputModeText);
    FileSendMode = true;

    const QString path = TxtSendPath->toPlainText().trimmed();
    const QString unreadable = QStringLiteral("无法读取批量闪灯数据文件：%1").arg(path);
    QFile file(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        ShowMessage(unreadable, Dialogs::Warning);
        return;
    }
    if (file.size() > kMaxSendFile) {
        ShowMessage(QStringLiteral("批量闪灯数据文件太大（超过16MB），不能发送"), Dialogs::Warning);
        return;
    }
    QByteArray data = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed) {
        ShowMessage(unreadable, Dialogs::Warning);
        return;
    }

    if (ChkHexSend->isChecked()) {
        const terminalfiles::HexText hex = terminalfiles::parseHexText(data);
        data = hex.bytes;
        if (hex.stopped)
            ShowMessage(QStringLiteral("文件第%1个字节不是十六进制数字，从此处起的内容不发送").arg(hex.stopOffset + 1),
                        Dialogs::Warning);
        else if (hex.oddDigit)
            ShowMessage(QStringLiteral("文件最后一个十六进制数字不成对，已舍去"), Dialogs::Warning);
        // The message box let other events run: the port may be gone by now.
        if (isQuitting())
            return;
        if (!MSComm->portOpen()) {
            ShowMessage(kPortNotOpen, Dialogs::Warning);
            return;
        }
    }
    if (data.isEmpty())
        return;
    if (!m_fileSender->start(data)) {
        ShowMessage(kPortNotOpen, Dialogs::Warning);
        return;
    }
    if (m_fileSender->running())
        showFileSendProgress();
}

void relay::showFileSendProgress()
{
    if (!m_fileSender->running())
        return;
    const qint64 total = qMax<qint64>(1, m_fileSender->total());
    const qint64 done = m_fileSender->done();
    CmdSendFile->setText(QStringLiteral("停止发送 %1%").arg(done * 100 / total));
    TxtSendPath->setToolTip(QStringLiteral("已发送 %1 / %2 字节").arg(done).arg(m_fileSender->total()));
}

void relay::onFileSendFinished(int result)
{
    CmdSendFile->setText(kSendFileCaption);
    TxtSendPath->setToolTip(QString());
    if (result == FileSender::PortFailed)
        ShowMessage(QStringLiteral("批量发送中断：串口没有打开"), Dialogs::Warning);
}

// ---------------------------------------------------------------- About window and web link

QString relay::webPage()
{
    return QStringLiteral("https://zh.wikipedia.org/wiki/Modbus");
}

void relay::buildAbout()
{
    CmdHelp = ui::place<QPushButton>(this, QStringLiteral("CmdHelp"), 1224, 632, 58, 20, QStringLiteral("关于"));
    connect(CmdHelp, &QPushButton::clicked, this, &relay::CmdHelp_Click);

    OpenWebPage = [](const QString &url) { QDesktopServices::openUrl(QUrl(url)); };
    LblWeb->setMouseTracking(true);
    new EventHook(LblWeb, [this](QEvent *e) {
        if (e->type() == QEvent::MouseMove) {
            LblWeb_MouseMove();
            return true; // not the window's background
        }
        if (e->type() == QEvent::MouseButtonRelease) {
            auto *me = static_cast<QMouseEvent *>(e);
            if (me->button() == Qt::LeftButton && LblWeb->rect().contains(me->position().toPoint()))
                LblWeb_Click();
            return true;
        }
        return false;
    });
}

void relay::CmdHelp_Click()
{
    if (isQuitting())
        return;
    if (!m_frmHelp) {
        auto *help = new FrmHelp(this);
        // Forgotten as soon as it closes, so the next click makes a new one
        // even before the closed window is deleted.
        connect(help, &FrmHelp::closed, this, [this, help] {
            if (m_frmHelp.data() == help)
                m_frmHelp = nullptr;
        });
        m_frmHelp = help;
    }
    m_frmHelp->show();
    m_frmHelp->raise();
    m_frmHelp->activateWindow();
}

QWidget *relay::aboutWindow() const
{
    return m_frmHelp.data();
}

void relay::LblWeb_Click()
{
    // A failure to open the page is not reported.
    if (OpenWebPage)
        OpenWebPage(webPage());
}

void relay::LblWeb_MouseMove()
{
    ui::setTextColor(LblWeb, kLinkHover);
    LblWeb->setCursor(Qt::PointingHandCursor);
}

void relay::mouseMoveEvent(QMouseEvent *event)
{
    // Only the window's own background ends the hover; moving from the link
    // straight onto another control keeps it.
    if (!childAt(event->position().toPoint())) {
        ui::setTextColor(LblWeb, kLinkNormal);
        setCursor(Qt::ArrowCursor);
    }
    QWidget::mouseMoveEvent(event);
}
