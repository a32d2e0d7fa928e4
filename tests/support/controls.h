#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>

// Finds a control by its objectName below root, as a user's tool would:
// breadth first, through the groups of the window, without entering other
// top-level windows (the status window and the name editor have controls of
// the same names; pass the window itself to reach those). A missing control
// fails the test and gives null.
template <class T = QWidget>
T *control(const QObject *root, const QString &name)
{
    std::deque<const QObject *> queue{root};
    while (!queue.empty()) {
        const QObject *o = queue.front();
        queue.pop_front();
        for (QObject *child : o->children()) {
            auto *widget = qobject_cast<QWidget *>(child);
            if (widget && widget->isWindow())
                continue;
            if (child->objectName() == name) {
                if (T *found = qobject_cast<T *>(child))
                    return found;
            }
            queue.push_back(child);
        }
    }
    ADD_FAILURE() << "no control named " << name.toStdString();
    return nullptr;
}

// Element i of a control array: "incheck1(3)".
template <class T = QWidget>
T *control(const QObject *root, const QString &base, int i)
{
    return control<T>(root, QStringLiteral("%1(%2)").arg(base).arg(i));
}

// True when every named button exists and is enabled.
inline bool buttonsFree(const QObject *root, std::initializer_list<const char *> names)
{
    for (const char *n : names) {
        const auto *b = control<QAbstractButton>(root, QString::fromLatin1(n));
        if (!b || !b->isEnabled())
            return false;
    }
    return true;
}

// The step grid's boxes: input i (0..15) and output k (0..7) of step s (1..8).
inline QCheckBox *gridIn(const QObject *root, int s, int i)
{
    return control<QCheckBox>(root, QStringLiteral("incheck%1").arg(s), i);
}
inline QCheckBox *gridOut(const QObject *root, int s, int k)
{
    return control<QCheckBox>(root, QStringLiteral("outcheck%1").arg(s), k);
}

// Which boxes of the whole grid are greyed, as "in3(8)" / "out2(2)".
inline QStringList greyedGridBoxes(const QObject *root)
{
    QStringList g;
    for (int s = 1; s <= 8; ++s) {
        for (int i = 0; i < 16; ++i)
            if (!gridIn(root, s, i)->isEnabled())
                g << QStringLiteral("in%1(%2)").arg(s).arg(i);
        for (int k = 0; k < 8; ++k)
            if (!gridOut(root, s, k)->isEnabled())
                g << QStringLiteral("out%1(%2)").arg(s).arg(k);
    }
    return g;
}
