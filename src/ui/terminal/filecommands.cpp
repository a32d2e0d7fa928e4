// The terminal's file commands: choosing and sending a file, saving the send box.
#include "terminal/filecommands.h"

#include "app/dialogs.h"
#include "app/messages.h"
#include "app/widgets.h"
#include "serial/serialport.h"
#include "terminal/filesender.h"
#include "terminal/sendpane.h"
#include "terminal/terminalfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

const QString kSendFileCaption = QStringLiteral("批量发送闪灯数据");
// Files beyond this size are not sent (hours of line time even at high speeds).
constexpr qint64 kMaxSendFile = 16 * 1024 * 1024;

void setTwoLines(QPlainTextEdit *box, const QString &first, const QString &second)
{
    box->setPlainText(first + QLatin1Char('\n') + second + QLatin1Char('\n'));
}

} // namespace

FileCommands::FileCommands(QWidget *host, SerialPort *port, SendPane *send, CommonDialog *dialog, Messages *messages,
                           std::function<bool()> hexReceive)
    : QObject(host), MSComm(port), m_send(send), CommonDialog1(dialog), m_messages(messages),
      m_hexReceive(std::move(hexReceive))
{
    setObjectName(QStringLiteral("fileCommands"));
    auto *CmdSelectFile = ui::place<QPushButton>(host, QStringLiteral("CmdSelectFile"), 1224, 504, 128, 25,
                                           QStringLiteral("批量选择闪灯数据"));
    TxtSendPath = ui::place<QPlainTextEdit>(host, QStringLiteral("TxtSendPath"), 1360, 496, 160, 48);
    setTwoLines(TxtSendPath, QStringLiteral("请打开批量闪灯数"), QStringLiteral("据路径及文件名"));
    CmdSendFile = ui::place<QPushButton>(host, QStringLiteral("CmdSendFile"), 1224, 552, 128, 25, kSendFileCaption);
    auto *CmdSaveDisp = ui::place<QPushButton>(host, QStringLiteral("CmdSaveDisp"), 1528, 504, 100, 25,
                                         QStringLiteral("保存闪灯数据"));
    TxtSavePath = ui::place<QPlainTextEdit>(host, QStringLiteral("TxtSavePath"), 1632, 496, 160, 48);
    setTwoLines(TxtSavePath, QStringLiteral("请选择保存闪灯数"), QStringLiteral("据路径及文件名"));
    for (QPlainTextEdit *box : {TxtSendPath, TxtSavePath}) {
        ui::setBackground(box, ui::darkGreen());
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }

    connect(CmdSelectFile, &QPushButton::clicked, this, &FileCommands::CmdSelectFile_Click);
    connect(CmdSendFile, &QPushButton::clicked, this, &FileCommands::CmdSendFile_Click);
    connect(CmdSaveDisp, &QPushButton::clicked, this, &FileCommands::CmdSaveDisp_Click);

    m_fileSender = new FileSender(MSComm, this);
    connect(m_fileSender, &FileSender::progress, this, &FileCommands::showFileSendProgress);
    connect(m_fileSender, &FileSender::finished, this, [this](FileSender::Result r) { onFileSendFinished(int(r)); });
    connect(MSComm, &SerialPort::portLost, this, &FileCommands::portChanged);
}

void FileCommands::portChanged()
{
    if (m_fileSender->running() && !MSComm->portOpen())
        m_fileSender->portGone();
}

void FileCommands::showSendPath(const QString &path)
{
    TxtSendPath->setPlainText(path);
}

void FileCommands::CmdSelectFile_Click()
{
    CommonDialog1->Flags = 3;
    CommonDialog1->ShowOpen();
    if (m_messages->quitting())
        return;
    TxtSendPath->setPlainText(CommonDialog1->FileName);
}

void FileCommands::CmdSaveDisp_Click()
{
    CommonDialog1->DialogTitle = QStringLiteral("保存文件");
    CommonDialog1->Filter = QStringLiteral("txt文件|*.txt");
    CommonDialog1->FilterIndex = 1;
    CommonDialog1->InitDir = QStringLiteral("d:\\");
    CommonDialog1->Flags = 1;
    const bool chosen = CommonDialog1->ShowSave();
    if (m_messages->quitting())
        return;
    const QString name = chosen ? CommonDialog1->FileName : QString();
    TxtSavePath->setPlainText(name);
    if (name.trimmed().isEmpty())
        return;
    // Read, append, replace whole: the file is never left half written. A
    // file that cannot be read or written ends the save without the message.
    if (!terminalfiles::appendSaveBlock(name, m_send->SendBoxText()))
        return;
    m_messages->show(QStringLiteral("文件保存成功！"), Dialogs::Warning);
    CommonDialog1->FileName.clear();
}

bool FileCommands::fileSending() const
{
    return m_fileSender && m_fileSender->running();
}

void FileCommands::CmdSendFile_Click()
{
    // While a file is going out, the same button cancels it.
    if (fileSending()) {
        m_fileSender->cancel();
        return;
    }
    if (!MSComm->portOpen()) {
        m_messages->show(Messages::portNotOpen(), Dialogs::Warning);
        return;
    }
    MSComm->setInputMode(m_hexReceive() ? SerialPort::InputModeBinary : SerialPort::InputModeText);

    const QString path = TxtSendPath->toPlainText().trimmed();
    const QString unreadable = QStringLiteral("无法读取批量闪灯数据文件：%1").arg(path);
    QFile file(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        m_messages->show(unreadable, Dialogs::Warning);
        return;
    }
    if (file.size() > kMaxSendFile) {
        m_messages->show(QStringLiteral("批量闪灯数据文件太大（超过16MB），不能发送"), Dialogs::Warning);
        return;
    }
    QByteArray data = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed) {
        m_messages->show(unreadable, Dialogs::Warning);
        return;
    }

    if (m_send->HexSendOn()) {
        const terminalfiles::HexText hex = terminalfiles::parseHexText(data);
        data = hex.bytes;
        if (hex.stopped)
            m_messages->show(QStringLiteral("文件第%1个字节不是十六进制数字，从此处起的内容不发送").arg(hex.stopOffset + 1),
                        Dialogs::Warning);
        else if (hex.oddDigit)
            m_messages->show(QStringLiteral("文件最后一个十六进制数字不成对，已舍去"), Dialogs::Warning);
        // The message box let other events run: the port may be gone by now.
        if (m_messages->quitting())
            return;
        if (!MSComm->portOpen()) {
            m_messages->show(Messages::portNotOpen(), Dialogs::Warning);
            return;
        }
    }
    if (data.isEmpty())
        return;
    if (!m_fileSender->start(data)) {
        m_messages->show(Messages::portNotOpen(), Dialogs::Warning);
        return;
    }
    if (m_fileSender->running())
        showFileSendProgress();
}

void FileCommands::showFileSendProgress()
{
    if (!m_fileSender->running())
        return;
    const qint64 total = qMax<qint64>(1, m_fileSender->total());
    const qint64 done = m_fileSender->done();
    CmdSendFile->setText(QStringLiteral("停止发送 %1%").arg(done * 100 / total));
    TxtSendPath->setToolTip(QStringLiteral("已发送 %1 / %2 字节").arg(done).arg(m_fileSender->total()));
}

void FileCommands::onFileSendFinished(int result)
{
    CmdSendFile->setText(kSendFileCaption);
    TxtSendPath->setToolTip(QString());
    if (result == FileSender::PortFailed)
        m_messages->show(QStringLiteral("批量发送中断：串口没有打开"), Dialogs::Warning);
}
