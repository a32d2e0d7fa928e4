#include "app/widgets.h"

#include <QPalette>

namespace ui {

QFont simSun(double pointSize)
{
    QFont f(QStringLiteral("SimSun"));
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPointSizeF(pointSize);
    return f;
}

void setBackground(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void setBoxColor(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, c);
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void setTextColor(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::Text, c);
    p.setColor(QPalette::ButtonText, c);
    w->setPalette(p);
}

// The application icon, from the pictures the desktop menu shows.
QIcon appIcon()
{
    QIcon icon;
    for (int size : {48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kestrune-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace ui
