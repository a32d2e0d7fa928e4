#include "logic/editform.h"

#include "app/messages.h"
#include "app/widgets.h"
#include "logic/logicstep.h"
#include "logic/namesfile.h"
#include "serial/portsettings.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace {
const int kLefts[4] = {8, 256, 496, 720};
const int kTextLefts[4] = {88, 336, 576, 800};
const int kRowTops[2] = {24, 64};
} // namespace

editform::editform(QWidget *parent, Messages *messages)
    : QWidget(parent, Qt::Window), CommonDialog1(messages->dialogs()), m_messages(messages)
{
    setObjectName(QStringLiteral("editform"));
    setWindowTitle(QStringLiteral("编辑名称"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(994, 477);
    setFont(ui::simSun(14.25));

    Frame1[0] = ui::place<QGroupBox>(this, ui::arrayName(QStringLiteral("Frame1"), 0), 16, 24, 953, 121,
                                     QStringLiteral("输入信号："));
    Frame1[1] = ui::place<QGroupBox>(this, ui::arrayName(QStringLiteral("Frame1"), 1), 16, 168, 953, 121,
                                     QStringLiteral("输出信号："));
    for (int group = 0; group < 2; ++group) {
        for (int k = 0; k < 8; ++k) {
            const int col = k % 4;
            const int row = k / 4;
            const QString signal = signalName(group == 0 ? QLatin1Char('X') : QLatin1Char('Y'), k);
            // The output labels run from 15 (Y00) down to 8 (Y07).
            const int labelIndex = group == 0 ? k : 15 - k;
            const int textIndex = group * 8 + k;
            Label1[labelIndex] = ui::place<QLabel>(Frame1[group], ui::arrayName(QStringLiteral("Label1"), labelIndex),
                                                   kLefts[col], kRowTops[row], kTextLefts[col] - kLefts[col], 25,
                                                   signal + QStringLiteral("代表："));
            Text1[textIndex] = ui::place<QLineEdit>(Frame1[group], ui::arrayName(QStringLiteral("Text1"), textIndex),
                                                    kTextLefts[col], kRowTops[row], 145, 25);
        }
    }
    Command1 = ui::place<QPushButton>(this, QStringLiteral("Command1"), 352, 328, 153, 41, QStringLiteral("保存设置"));
    Command2 = ui::place<QPushButton>(this, QStringLiteral("Command2"), 592, 328, 137, 41, QStringLiteral("退出"));
    connect(Command1, &QPushButton::clicked, this, &editform::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &editform::Command2_Click);
}

QStringList editform::names() const
{
    QStringList n;
    for (const QLineEdit *t : Text1)
        n << t->text();
    return n;
}

void editform::Command1_Click()
{
    CommonDialog1.DialogTitle = QStringLiteral("保存文件");
    CommonDialog1.Filter = QStringLiteral("txt文件|*.txt");
    CommonDialog1.FilterIndex = 1;
    // "d:\" where such a folder exists (Windows); elsewhere the home folder.
    CommonDialog1.InitDir = existingFolderOrHome(QStringLiteral("d:\\"));
    CommonDialog1.Flags = 0; // an existing file is replaced without a question
    QPointer<editform> self(this);
    const bool chosen = CommonDialog1.ShowSave();
    if (!self || m_messages->quitting() || !chosen)
        return;
    const QString path = CommonDialog1.FileName;
    if (path.trimmed().isEmpty())
        return;
    // Whole or not at all; any failure ends the command without a message.
    if (!writeFileAtomically(path, namesfile::format(names())))
        return;
    m_messages->dialogs()->message(QStringLiteral("PellwickV1.0"), QStringLiteral("文件保存成功！"), Dialogs::Warning);
    if (!self)
        return; // closed while the message was open
    CommonDialog1.FileName.clear();
}

void editform::Command2_Click()
{
    close();
}
