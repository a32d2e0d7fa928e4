#pragma once

#include <QAbstractButton>
#include <QObject>
#include <QString>

// Finds a control under root by its objectName ("writefirst", "incheck1(3)"),
// or null. Tests reach controls only this way, so that they hold whatever
// class of the window comes to own them.
template <typename T = QAbstractButton>
T *control(const QObject *root, const QString &name)
{
    return root ? root->findChild<T *>(name) : nullptr;
}

// True when every named button exists and is enabled.
inline bool buttonsFree(const QObject *root, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        const QAbstractButton *b = control<QAbstractButton>(root, QString::fromLatin1(n));
        if (!b || !b->isEnabled())
            return false;
    }
    return true;
}
