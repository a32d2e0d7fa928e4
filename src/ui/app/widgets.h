#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>
#include <QWidget>

// Small helpers shared by the windows: absolute placement under a given
// objectName, the program's fonts and its colours.
namespace ui {

template <class W, class... Args>
W *place(QWidget *parent, const QString &name, int x, int y, int w, int h, Args &&...args)
{
    W *widget = new W(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    widget->setGeometry(x, y, w, h);
    return widget;
}

// SimSun at the given size; fontconfig falls back to an installed CJK font.
QFont simSun(double pointSize);

// Name of element i of a control array: "incheck1(3)".
inline QString arrayName(const QString &base, int i) { return QStringLiteral("%1(%2)").arg(base).arg(i); }

// Background of a window, frame, label or check box.
void setBackground(QWidget *w, const QColor &c);
// Background of a text box (its editing area too).
void setBoxColor(QWidget *w, const QColor &c);
void setTextColor(QWidget *w, const QColor &c);

// Sets a label's or line edit's text unless it already shows it: each setText
// lays the text out again and repaints the control.
template <class W>
void setTextIfChanged(W *w, const QString &text)
{
    if (w->text() != text)
        w->setText(text);
}

// The application icon: a relay coil with its contact, drawn at start.
QIcon appIcon();

inline QColor darkGreen() { return QColor(0, 128, 0); }
inline QColor statusYellow() { return QColor(202, 202, 145); }

} // namespace ui

#include <QPointer>
#include <initializer_list>
#include <vector>

namespace ui {

// Disables the given buttons while it lives and gives each back the state it
// had, however the command ends (a search clicked while a download waits must
// not re-enable the download's buttons).
class ButtonsLock
{
public:
    explicit ButtonsLock(std::initializer_list<QWidget *> buttons)
    {
        for (QWidget *b : buttons) {
            m_buttons.push_back({b, b->isEnabled()});
            b->setEnabled(false);
        }
    }
    ~ButtonsLock()
    {
        for (const auto &[b, was] : m_buttons) {
            if (b)
                b->setEnabled(was);
        }
    }
    ButtonsLock(const ButtonsLock &) = delete;
    ButtonsLock &operator=(const ButtonsLock &) = delete;

private:
    std::vector<std::pair<QPointer<QWidget>, bool>> m_buttons;
};

} // namespace ui
