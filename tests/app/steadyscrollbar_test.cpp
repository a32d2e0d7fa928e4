// The scroll bar that repaints only when its picture changes.
#include "app/steadyscrollbar.h"

#include <QEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {
// Counts the paint events a widget gets.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
} // namespace

TEST(SteadyScrollBar, RepaintsOnlyWhenTheHandleOrItsEndsChange)
{
    ui::SteadyScrollBar bar(Qt::Vertical);
    bar.resize(17, 200);
    bar.setRange(0, 10000);
    bar.setPageStep(12);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    PaintCounter counter;
    bar.installEventFilter(&counter);
    QTest::qWait(50);
    counter.paints = 0;

    // A long text grows while the view stays at its start: the handle
    // keeps its place and its (smallest) size.
    for (int i = 1; i <= 20; ++i)
        bar.setRange(0, 10000 + 5 * i);
    QTest::qWait(50);
    EXPECT_EQ(counter.paints, 0);

    // A short text that shrinks and grows: nothing to scroll, only the lines
    // in view (the page step) change, and so does nothing painted.
    bar.setRange(0, 0);
    QTest::qWait(50);
    const int empty = counter.paints;
    for (int i = 1; i <= 12; ++i) {
        bar.holdPaint();
        bar.setPageStep(13 - i);
        bar.releasePaint();
    }
    QTest::qWait(50);
    EXPECT_EQ(counter.paints, empty);

    // Scrolled to the end: the handle moves and the bar is painted.
    bar.setRange(0, 10000);
    bar.setPageStep(12);
    QTest::qWait(50);
    counter.paints = 0;
    bar.setValue(bar.maximum());
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 2000));

    // Held: the range grows (for a moment the handle is not at the end),
    // then the value follows to the end; the picture is as before, no paint.
    QTest::qWait(50);
    const int before = counter.paints;
    for (int i = 1; i <= 20; ++i) {
        bar.holdPaint();
        bar.setRange(0, bar.maximum() + 5);
        bar.setValue(bar.maximum());
        bar.releasePaint();
    }
    QTest::qWait(50);
    EXPECT_EQ(counter.paints, before);

    // Held changes that end on another picture are painted.
    bar.holdPaint();
    bar.setRange(0, 400);
    bar.setValue(0);
    bar.releasePaint();
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > before; }, 2000));
}
