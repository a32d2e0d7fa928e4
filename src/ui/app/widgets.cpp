#include "app/widgets.h"

#include <QPainter>
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

// The application icon: a relay coil with its contact, drawn at start.
QIcon appIcon()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 128, 0));
    p.setPen(QPen(Qt::black, 2));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(12, 12, 24, 24));
    p.setPen(QPen(Qt::white, 4));
    p.drawLine(QPointF(14, 50), QPointF(50, 50));
    p.drawLine(QPointF(50, 50), QPointF(54, 30));
    return QIcon(pm);
}

} // namespace ui
