#include "relayfixture.h"
#include "controls.h"

#include "app/widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QScrollBar>
#include <QTest>

namespace {

class Grid : public RelayFixture
{
protected:
    void SetUp() override
    {
        start();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    QCheckBox *in(int s, int i) { return gridIn(w.get(), s, i); }
    QCheckBox *out(int s, int k) { return gridOut(w.get(), s, k); }
    // A real mouse click on the box's indicator, scrolling the grid so the box is in view.
    void click(QCheckBox *box)
    {
        const int y = box->mapTo(control<QWidget>(w.get(), QStringLiteral("Picture3")), QPoint(0, 0)).y();
        control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->setValue(qBound(0, (y - 300) / 20 * 20, 620));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    QStringList greyed() { return greyedGridBoxes(w.get()); }
    static QString rng(int s, int from, int to, bool output)
    {
        QStringList g;
        for (int i = from; i <= to; ++i)
            g << QStringLiteral("%1%2(%3)").arg(output ? "out" : "in").arg(s).arg(i);
        return g.join(',');
    }
};

const int kGroupFrames[8][3] = {{0, 1, 2},    {3, 4, 5},    {6, 7, 8},    {11, 10, 9},
                                {12, 13, 14}, {20, 19, 18}, {21, 22, 23}, {17, 16, 15}};

} // namespace

TEST_F(Grid, ControlsStandWhereGivenWithTheirNamesCaptionsAndNumbering)
{
    auto *p3 = control<QWidget>(w.get(), "Picture3");
    ASSERT_EQ(p3, control<QWidget>(w.get(), QStringLiteral("Picture3")));
    EXPECT_EQ(p3->parentWidget(), w->content()); // the window's scrolled content
    EXPECT_EQ(p3->geometry(), QRect(120, 0, 1041, 2008));
    auto *p2 = control<QWidget>(w.get(), "Picture2(1)");
    ASSERT_TRUE(p2);
    EXPECT_EQ(p2->parentWidget(), p3);
    EXPECT_EQ(p2->geometry(), QRect(8, 640, 1033, 2000));

    const QStringList steps{"第一步", "第二步", "第三步", "第四步", "第五步", "第六步", "第七步", "第八步"};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        auto *f = control<QGroupBox>(w.get(), ui::arrayName("Frame4", i));
        ASSERT_TRUE(f);
        EXPECT_EQ(f->title(), steps[i]);
        EXPECT_EQ(f->parentWidget(), i < 4 ? p3 : p2);
        EXPECT_EQ(f->geometry(), i < 4 ? QRect(8, i * 160, 1033, 153) : QRect(0, (i - 4) * 160, 1025, 153));
        const QStringList titles{"输入和", "输入或者", "输出"};
        const int lefts[3] = {8, 344, 688};
        for (int g = 0; g < 3; ++g) {
            auto *gf = control<QGroupBox>(w.get(), ui::arrayName("Frame0", kGroupFrames[i][g]));
            ASSERT_TRUE(gf);
            EXPECT_EQ(gf->parentWidget(), f);
            EXPECT_EQ(gf->title(), titles[g]);
            EXPECT_EQ(gf->x(), lefts[g]);
            EXPECT_EQ(gf->y(), 24);
            EXPECT_EQ(gf->height(), 129);
        }
        EXPECT_EQ(control<QGroupBox>(w.get(), ui::arrayName("Frame0", kGroupFrames[i][2]))->width(), i >= 5 ? 329 : 337);
        for (int k = 0; k < 8; ++k) {
            ASSERT_TRUE(in(i + 1, k) && in(i + 1, 8 + k) && out(i + 1, k));
            const QString x = QStringLiteral("X%1").arg(k, 2, 10, QLatin1Char('0'));
            EXPECT_EQ(in(i + 1, k)->text(), x);
            EXPECT_EQ(in(i + 1, 8 + k)->text(), x);
            EXPECT_EQ(out(i + 1, k)->text(), QStringLiteral("Y%1").arg(k, 2, 10, QLatin1Char('0')));
            EXPECT_EQ(in(i + 1, k)->parentWidget()->objectName(), ui::arrayName("Frame0", kGroupFrames[i][0]));
            EXPECT_EQ(in(i + 1, 8 + k)->parentWidget()->objectName(), ui::arrayName("Frame0", kGroupFrames[i][1]));
            EXPECT_EQ(out(i + 1, k)->parentWidget()->objectName(), ui::arrayName("Frame0", kGroupFrames[i][2]));
            // Two columns of four, ascending downwards.
            EXPECT_EQ(in(i + 1, k)->x() < 100, k < 4);
            if (k % 4) {
                EXPECT_GT(out(i + 1, k)->y(), out(i + 1, k - 1)->y());
            }
            // Coloured at start-up.
            EXPECT_EQ(in(i + 1, k)->palette().color(QPalette::Window), QColor(0, 128, 0));
            EXPECT_EQ(out(i + 1, k)->palette().color(QPalette::Window), QColor(0, 128, 0));
            EXPECT_TRUE(in(i + 1, 8 + k)->autoFillBackground());
        }
        EXPECT_EQ(f->palette().color(QPalette::Window), QColor(0, 128, 0));
        EXPECT_EQ(in(i + 1, 0)->font().pointSizeF(), 14.25);
    }
    auto *bar = control<QScrollBar>(w.get(), "VScroll1");
    ASSERT_EQ(bar, control<QScrollBar>(w.get(), QStringLiteral("VScroll1")));
    EXPECT_EQ(bar->geometry(), QRect(1168, 336, 33, 121));
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 620);
    EXPECT_EQ(bar->singleStep(), 20);
    EXPECT_EQ(bar->pageStep(), 20);
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(Grid, EmptyAtStartAndMasksFollowTheBoxes)
{
    for (int s = 1; s <= 8; ++s) {
        const LogicStep st = w->stepGrid()->ReadLogicStep(s);
        EXPECT_EQ(st.stepNo, s);
        EXPECT_EQ(st.andMask | st.orMask | st.outMask, 0);
    }
    EXPECT_TRUE(greyed().isEmpty());

    click(in(3, 0));
    click(in(3, 15));
    LogicStep st = w->stepGrid()->ReadLogicStep(3);
    EXPECT_EQ(st.andMask, 0x01);
    EXPECT_EQ(st.orMask, 0x80);
    EXPECT_EQ(st.outMask, 0);
    // Within the step only the partners are greyed; no other step is touched.
    EXPECT_EQ(greyed(), (QStringList{"in3(7)", "in3(8)"}));
    EXPECT_FALSE(in(3, 8)->isChecked());
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(2).andMask, 0);

    // Unchecking gives the partner back.
    click(in(3, 0));
    EXPECT_EQ(greyed(), QStringList{"in3(7)"});
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(3).andMask, 0);
}

TEST_F(Grid, KeyboardChangesApplyTheRulesToo)
{
    in(6, 9)->setFocus();
    QTest::keyClick(in(6, 9), Qt::Key_Space);
    EXPECT_TRUE(in(6, 9)->isChecked());
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(6).orMask, 0x02);
    EXPECT_EQ(greyed(), QStringList{"in6(1)"});

    QTest::keyClick(out(4, 6), Qt::Key_Space);
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(4).outMask, 0x40);
    EXPECT_EQ(greyed().size(), 8);
    QTest::keyClick(out(4, 6), Qt::Key_Space);
    QTest::keyClick(in(6, 9), Qt::Key_Space);
    EXPECT_TRUE(greyed().isEmpty());
}

TEST_F(Grid, AllInputsOfTheAndGroupGreyTheWholeOrGroup)
{
    for (int k = 0; k < 8; ++k)
        click(in(8, k));
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(8).andMask, 0xFF);
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(8).orMask, 0);
    EXPECT_EQ(greyed().join(','), rng(8, 8, 15, false));
}

TEST_F(Grid, AnOutputIsDrivenByOneStepAtATime)
{
    click(out(5, 2));
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(5).outMask, 0x04);
    EXPECT_EQ(greyed(), (QStringList{"out1(2)", "out2(2)", "out3(2)", "out4(2)", "out6(2)", "out7(2)", "out8(2)"}));
    // A greyed box does not take clicks.
    click(out(2, 2));
    EXPECT_FALSE(out(2, 2)->isChecked());

    click(out(5, 2));
    EXPECT_TRUE(greyed().isEmpty());
    click(out(2, 2));
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(2).outMask, 0x04);
    EXPECT_EQ(greyed().size(), 7);
    EXPECT_FALSE(out(5, 2)->isEnabled());
    EXPECT_TRUE(out(2, 2)->isEnabled());
}

TEST_F(Grid, AllOutputsInStepOneGreyEveryOtherOutputGroup)
{
    for (int k = 0; k < 8; ++k)
        click(out(1, k));
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(1).outMask, 0xFF);
    QStringList expected;
    for (int s = 2; s <= 8; ++s)
        expected << rng(s, 0, 7, true);
    EXPECT_EQ(greyed().join(','), expected.join(','));
}

TEST_F(Grid, CaptionsReachBothInputGroupsOfEveryStepAndLeaveStatesAlone)
{
    click(in(4, 2));
    click(out(7, 7));
    const QStringList before = greyed();
    w->stepGrid()->SetInputCaption(2, "X02:进水阀");
    w->stepGrid()->SetOutputCaption(7, "Y07:报警灯");
    for (int s = 1; s <= 8; ++s) {
        EXPECT_EQ(in(s, 2)->text(), "X02:进水阀");
        EXPECT_EQ(in(s, 10)->text(), "X02:进水阀");
        EXPECT_EQ(in(s, 3)->text(), "X03");
        EXPECT_EQ(out(s, 7)->text(), "Y07:报警灯");
        EXPECT_EQ(out(s, 6)->text(), "Y06");
    }
    EXPECT_EQ(greyed(), before);
    EXPECT_TRUE(in(4, 2)->isChecked());
    EXPECT_TRUE(out(7, 7)->isChecked());
    EXPECT_EQ(w->stepGrid()->ReadLogicStep(4).andMask, 0x04);
}

TEST_F(Grid, ScrollingShowsStepEightInFullAndBackToStepOneAtTheTop)
{
    auto topInWindow = [&](int i) { return control<QGroupBox>(w.get(), QStringLiteral("Frame4"), i)->mapTo(w.get(), QPoint(0, 0)).y(); };
    EXPECT_EQ(topInWindow(0), 0);
    control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->value(), 20);
    EXPECT_EQ(control<QWidget>(w.get(), QStringLiteral("Picture3"))->y(), -20);
    control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(control<QWidget>(w.get(), QStringLiteral("Picture3"))->y(), -40);

    control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->value(), 620);
    EXPECT_EQ(control<QWidget>(w.get(), QStringLiteral("Picture3"))->y(), -620);
    EXPECT_GE(topInWindow(7), 0);
    EXPECT_LE(topInWindow(7) + control<QGroupBox>(w.get(), QStringLiteral("Frame4"), 7)->height(), w->height());

    // Dragging the thumb moves the panel as it goes.
    control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->setSliderDown(true);
    control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->setSliderPosition(300);
    EXPECT_EQ(control<QWidget>(w.get(), QStringLiteral("Picture3"))->y(), -300);
    control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->setSliderDown(false);

    control<QScrollBar>(w.get(), QStringLiteral("VScroll1"))->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(control<QWidget>(w.get(), QStringLiteral("Picture3"))->y(), 0);
    EXPECT_EQ(topInWindow(0), 0);
}
