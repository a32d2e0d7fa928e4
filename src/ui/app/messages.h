#pragma once

#include "app/dialogs.h"

#include <QString>

// The window's message boxes: the program's title and an OK button; nothing
// is shown once the program is quitting. Every group of the window gets this
// object, not the window. The texts shown from more than one place live here.
class Messages
{
public:
    explicit Messages(Dialogs *dialogs) : m_dialogs(dialogs) {}

    static QString title() { return QStringLiteral("KestruneV1.0"); }
    static QString portNotOpen() { return QStringLiteral("串口没有打开，请打开串口"); }
    static QString addressRange() { return QStringLiteral("485地址范围为0-255！"); }
    static QString addressMissing() { return QStringLiteral("485原地址不能为空！请点击“搜索设备”按钮"); }
    static QString newAddressMissing() { return QStringLiteral("485地址不能为空！"); }

    void show(const QString &text, Dialogs::Icon icon)
    {
        if (!m_quitting)
            m_dialogs->message(title(), text, icon);
    }
    Dialogs *dialogs() const { return m_dialogs; }
    bool quitting() const { return m_quitting; }
    void setQuitting() { m_quitting = true; }

private:
    Dialogs *m_dialogs;
    bool m_quitting = false;
};
