#include "app/scrolledcontent.h"

#include "app/widgets.h"

#include <QRect>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace ui {

QWidget *makeScrolledContent(QWidget *window, QScrollArea **area)
{
    auto *scroll = new QScrollArea(window);
    scroll->setObjectName(QStringLiteral("ContentScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    // The area itself takes no focus; Tab goes from control to control and
    // the area scrolls to each one the focus reaches.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("Content"));
    setBackground(content, window->palette().color(QPalette::Window));
    scroll->setWidget(content);
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    if (area)
        *area = scroll;
    return content;
}

void fitScrolledContent(QWidget *window, QWidget *content, const char *clipped)
{
    QRect r(QPoint(0, 0), window->size());
    for (QWidget *c : content->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!c->isWindow() && c->objectName() != QLatin1String(clipped))
            r |= c->geometry();
    }
    r.setTopLeft(QPoint(0, 0));
    content->resize(r.size());
    // The content is wider than the window as it opens (the terminal stands
    // right of it), so the horizontal bar shows from the start. The window
    // grows by the bar's height so that the bar hides nothing of the view it
    // opens with: the status row at its foot stays whole and no vertical bar
    // is needed.
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, window);
    if (r.width() > window->width() && r.height() <= window->height())
        window->resize(window->width(), window->height() + bar);
    // Larger than the content (and its bar) the window would show only empty
    // background.
    window->setMaximumSize(r.width(), r.height() + bar);
}

} // namespace ui
