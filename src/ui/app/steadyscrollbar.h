#pragma once

#include <QRect>
#include <QScrollBar>
#include <QStyle>

namespace ui {

// A scroll bar that repaints only when what it shows changes. A box that
// grows many times a second moves its bar's range as often, while the handle
// of a long text stays on the same pixels (at the bottom, or at its minimum
// size); a plain scroll bar repaints on every such move.
class SteadyScrollBar : public QScrollBar
{
public:
    explicit SteadyScrollBar(Qt::Orientation orientation, QWidget *parent = nullptr);

    // Range, value and page-step changes made between these two (a text put in, then
    // the view following it) repaint once at the end, if the picture changed:
    // on the way the handle may pass through places it ends up not showing.
    void holdPaint() { ++m_held; }
    void releasePaint();

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Everything of the bar's state that its picture depends on.
    struct Look
    {
        QRect handle;
        QStyle::State state;
        QStyle::SubControls active;
        bool empty = false, atMinimum = false, atMaximum = false;
        bool operator==(const Look &o) const
        {
            return handle == o.handle && state == o.state && active == o.active && empty == o.empty
                && atMinimum == o.atMinimum && atMaximum == o.atMaximum;
        }
    };
    Look look() const;

    Look m_painted;
    bool m_everPainted = false;
    int m_held = 0;
    bool m_changedWhileHeld = false;
};

} // namespace ui
