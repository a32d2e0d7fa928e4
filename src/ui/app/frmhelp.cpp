#include "app/frmhelp.h"

#include "app/widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>

FrmHelp::FrmHelp(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FrmHelp"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("关于DorrinV1.0"));
    setFixedSize(339, 199);

    Txt = ui::place<QPlainTextEdit>(this, QStringLiteral("Txt"), 8, 8, 281, 121);
    Txt->setReadOnly(true);
    Txt->setAccessibleName(QStringLiteral("关于"));
    Txt->setPlainText(aboutText());
    QPalette p = Txt->palette();
    p.setColor(QPalette::Base, QApplication::palette().color(QPalette::Button));
    Txt->setPalette(p);

    // The button stands over the text box's upper right corner, in front of it.
    CmdAssurance = ui::place<QPushButton>(this, QStringLiteral("CmdAssurance"), 208, 16, 73, 25, QStringLiteral("确  定"));
    CmdAssurance->raise();
    CmdAssurance->setDefault(true);
    connect(CmdAssurance, &QPushButton::clicked, this, &FrmHelp::CmdAssurance_Click);
}

QString FrmHelp::aboutText()
{
    return QStringLiteral("Kestrune V1.0\n"
                          "作者：Kestrune 开发组\n"
                          "本程序用于设置和调试 RS-485 总线上的 MODBUS RTU 继电器板，并带有串口调试终端。\n"
                          "使用中如发现错误，请告知作者，谢谢！\n"
                          "联系人：Kestrune 开发组\n"
                          "电子邮件：kestrune@example.com");
}

void FrmHelp::CmdAssurance_Click()
{
    close();
}

void FrmHelp::closeEvent(QCloseEvent *event)
{
    emit closed();
    event->accept();
}
