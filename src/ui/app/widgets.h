#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QWidget>

#include <functional>
#include <utility>

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

// Routes the events of one object to a function; true from it eats the event.
// It lives as long as the object it watches.
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

// The application icon in 48, 128 and 256 pixels (built-in resources).
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
// not re-enable the download's buttons). A locked button that had the
// keyboard focus gets it back: disabling it would pass the focus on to the
// next control, and a second Space would press that one instead.
class ButtonsLock
{
public:
    explicit ButtonsLock(std::initializer_list<QWidget *> buttons)
    {
        for (QWidget *b : buttons) {
            if (b->window()->focusWidget() == b)
                m_focused = b;
            m_buttons.push_back({b, b->isEnabled()});
            b->setEnabled(false);
        }
        // While locked, the keys go to no control at all.
        if (m_focused) {
            if (QWidget *moved = m_focused->window()->focusWidget(); moved && moved != m_focused)
                moved->clearFocus();
        }
    }
    ~ButtonsLock()
    {
        for (const auto &[b, was] : m_buttons) {
            if (b)
                b->setEnabled(was);
        }
        // Back to the pressed button, unless the user went elsewhere meanwhile.
        if (m_focused && m_focused->isEnabled() && !m_focused->window()->focusWidget())
            m_focused->setFocus(Qt::OtherFocusReason);
    }
    ButtonsLock(const ButtonsLock &) = delete;
    ButtonsLock &operator=(const ButtonsLock &) = delete;

private:
    std::vector<std::pair<QPointer<QWidget>, bool>> m_buttons;
    QPointer<QWidget> m_focused;
};

} // namespace ui
