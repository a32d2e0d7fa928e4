#include "app/accessiblenames.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

namespace ui {

void setAccessibleName(QWidget *control, const QString &name)
{
    if (!control)
        return;
    control->setAccessibleName(name);
    if (auto *combo = qobject_cast<QComboBox *>(control)) {
        if (QLineEdit *edit = combo->lineEdit())
            edit->setAccessibleName(name);
        if (QAbstractItemView *list = combo->view())
            list->setAccessibleName(name);
    }
}

namespace {

struct Caption
{
    const char *control;
    const char *label; // the label whose text names the control, or nullptr
    const char *name;  // the name when there is no such label
};

// Trailing colons belong to the label's look, not to the name.
QString labelText(QWidget *window, const char *labelName)
{
    auto *label = window->findChild<QLabel *>(QLatin1String(labelName));
    if (!label)
        return QString();
    QString t = label->text().trimmed();
    while (t.endsWith(QStringLiteral("：")) || t.endsWith(QLatin1Char(':')))
        t.chop(1);
    return t;
}

const Caption kCaptions[] = {
    {"CboCom", "Label4", nullptr},
    {"CboBaudrate", "Label5", nullptr},
    {"CboParitybit", "Label6", nullptr},
    {"CboDatabit", "Label7", nullptr},
    {"CboStopbit", "Label8", nullptr},
    {"Combo1", "Label1", nullptr},
    {"newadd", "Label9", nullptr},
    {"TxtStatus", nullptr, "串口状态"},
    {"TxtRXCount", nullptr, "接收字节数"},
    {"TxtTXCount", nullptr, "发送字节数"},
    {"TxtReceive", "LblReceive", nullptr},
    {"ChkHexReceive", "Label10", nullptr},
    {"ChkAutoClear", "LblArtoclear", nullptr},
    {"TxtSend", "LblSend", nullptr},
    {"ChkHexSend", "Label11", nullptr},
    {"ChkAutoSend", "LblAutoSend", nullptr},
    {"TxtAutoSendTime", nullptr, "自动发送周期（毫秒）"},
    {"TxtSendPath", nullptr, "发送文件的路径"},
    {"TxtSavePath", nullptr, "保存文件的路径"},
};

} // namespace

void nameMainWindowControls(QWidget *window)
{
    for (const Caption &c : kCaptions) {
        auto *control = window->findChild<QWidget *>(QLatin1String(c.control));
        if (!control)
            continue;
        // The label also points at its control, which gives screen readers
        // the "labelled by" relation (combo boxes announce their value as name).
        if (auto *label = c.label ? window->findChild<QLabel *>(QLatin1String(c.label)) : nullptr)
            label->setBuddy(control);
        QString name = c.label ? labelText(window, c.label) : QString();
        if (name.isEmpty() && c.name)
            name = QString::fromUtf8(c.name);
        if (!name.isEmpty())
            setAccessibleName(control, name);
    }
}

} // namespace ui
