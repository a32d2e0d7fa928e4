#include "app/steadyscrollbar.h"

#include <QStyleOptionSlider>

namespace ui {

SteadyScrollBar::SteadyScrollBar(Qt::Orientation orientation, QWidget *parent) : QScrollBar(orientation, parent)
{
    // Painted over its whole rectangle, so a repaint of the bar does not
    // repaint the box and the window behind it as well.
    setAutoFillBackground(true);
}

SteadyScrollBar::Look SteadyScrollBar::look() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    Look l;
    l.handle = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    l.state = option.state;
    l.active = option.activeSubControls;
    l.empty = option.minimum == option.maximum;
    l.atMinimum = option.sliderPosition == option.minimum;
    l.atMaximum = option.sliderPosition == option.maximum;
    return l;
}

void SteadyScrollBar::sliderChange(SliderChange change)
{
    // A text box sets its page step (the lines in view) each time it lays
    // out, as well as range and value; all three show only through the handle.
    if (change == SliderRangeChange || change == SliderValueChange || change == SliderStepsChange) {
        if (m_held > 0) {
            m_changedWhileHeld = true;
            return;
        }
        // A new range or value that leaves the picture as painted needs no paint.
        if (m_everPainted && look() == m_painted)
            return;
    }
    QScrollBar::sliderChange(change);
}

void SteadyScrollBar::releasePaint()
{
    if (m_held == 0 || --m_held > 0 || !m_changedWhileHeld)
        return;
    m_changedWhileHeld = false;
    if (!m_everPainted || !(look() == m_painted))
        update();
}

void SteadyScrollBar::paintEvent(QPaintEvent *event)
{
    m_painted = look();
    m_everPainted = true;
    QScrollBar::paintEvent(event);
}

} // namespace ui
