// Screen readers, the keyboard and small screens: every window's controls
// are named, the keyboard walks them in the order they stand, and every
// control of the main window can be scrolled into view.
#include "relayfixture.h"
#include "controls.h"
#include "accessibilitywalk.h"

#include "app/aboutpanel.h"
#include "logic/namesgroup.h"
#include "protocol/frames.h"
#include "status/devicestatus.h"
#include "status/statuswindowhost.h"

#include <QAccessible>
#include <QApplication>
#include <QScrollArea>
#include <QTest>

namespace {

QString accessibleName(QWidget *wgt)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(wgt);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// The controls the Tab key reaches, in the order it reaches them, from the
// window's first one round to it again.
QStringList tabChain(QWidget *window)
{
    QStringList out;
    QWidget *first = nullptr;
    for (QWidget *wgt = window->nextInFocusChain(); wgt && wgt != first; wgt = wgt->nextInFocusChain()) {
        if (wgt == window)
            continue;
        if ((wgt->focusPolicy() & Qt::TabFocus) != Qt::TabFocus || !wgt->isVisibleTo(window) || wgt->window() != window)
            continue;
        if (!first)
            first = wgt;
        out << wgt->objectName();
        if (out.size() > 2000)
            break;
    }
    return out;
}

// True when the names stand in the chain in the given order (others may lie between).
::testing::AssertionResult inOrder(const QStringList &chain, const QStringList &names)
{
    qsizetype at = -1;
    for (const QString &n : names) {
        const qsizetype i = chain.indexOf(n);
        if (i < 0)
            return ::testing::AssertionFailure() << n.toStdString() << " is not in the tab chain";
        if (i < at)
            return ::testing::AssertionFailure() << n.toStdString() << " comes before the control it follows";
        at = i;
    }
    return ::testing::AssertionSuccess();
}

// True when the control lies inside each of its parents up to the content.
bool inParents(QWidget *c, QWidget *content)
{
    QRect r = c->geometry();
    for (QWidget *p = c->parentWidget(); p; p = p->parentWidget()) {
        if (!p->rect().contains(r))
            return false;
        if (p == content)
            return true;
        r.translate(p->pos());
    }
    return false;
}

} // namespace

class Accessibility : public RelayFixture
{
protected:
    void SetUp() override
    {
        startOpen();
        w->show();
        QApplication::setActiveWindow(w.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void expectAllNamed(QWidget *window)
    {
        const auto unnamed = accessibility::unnamedFocusableControls(window);
        EXPECT_TRUE(unnamed.empty()) << window->objectName().toStdString() << ":\n"
                                     << accessibility::describe(unnamed).toStdString();
        EXPECT_GT(accessibility::focusableControls(window).size(), 1u);
    }
};

TEST_F(Accessibility, EveryFocusableControlOfEveryWindowHasAName)
{
    expectAllNamed(w.get());

    devicestatus *status = w->statusWindows()->ShowDeviceStatus();
    ASSERT_NE(status, nullptr);
    expectAllNamed(status);

    w->names()->editname_Click();
    auto *editor = qobject_cast<QWidget *>(w->findChild<QWidget *>(QStringLiteral("editform")));
    ASSERT_NE(editor, nullptr);
    editor->show();
    expectAllNamed(editor);

    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdHelp")), Qt::LeftButton);
    ASSERT_NE(w->about()->aboutWindow(), nullptr);
    expectAllNamed(w->about()->aboutWindow());
}

TEST_F(Accessibility, NamesSayWhatTheControlIs)
{
    EXPECT_EQ(accessibleName(control(w.get(), QStringLiteral("incheck3"), 3)), QStringLiteral("第三步 输入和 X03"));
    EXPECT_EQ(accessibleName(control(w.get(), QStringLiteral("incheck3"), 11)), QStringLiteral("第三步 输入或者 X03"));
    EXPECT_EQ(accessibleName(control(w.get(), QStringLiteral("outcheck8"), 7)), QStringLiteral("第八步 输出 Y07"));
    EXPECT_EQ(accessibleName(control(w.get(), QStringLiteral("ChkHexReceive"))), QStringLiteral("十六进制显示"));
    EXPECT_EQ(accessibleName(control(w.get(), QStringLiteral("newadd"))), QStringLiteral("新地址"));
    // A combo box's own name is its value here; its edit field carries the label.
    EXPECT_EQ(accessibleName(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->lineEdit()), QStringLiteral("485原地址"));
    // A renamed input keeps its fixed name; the caption shows the new one.
    auto *box = control<QCheckBox>(w.get(), QStringLiteral("incheck1"), 2);
    box->setText(QStringLiteral("水泵"));
    EXPECT_EQ(accessibleName(box), QStringLiteral("第一步 输入和 X02"));
}

TEST_F(Accessibility, TabFollowsTheLayoutGroupByGroup)
{
    const QStringList chain = tabChain(w.get());
    // The left column top to bottom, then the status row below it.
    EXPECT_TRUE(inOrder(chain, {"CboCom", "CmdSwitch", "Combo1", "writeadd", "newadd", "writefirst", "CmdReset",
                                "sdevice", "Command1", "loadname", "editname", "CmdQuit", "TxtStatus", "TxtRXCount",
                                "TxtTXCount", "CmdClearCounter"}));
    // The grid step by step; in a step the AND group, the OR group and the
    // outputs, each group down its left column and then its right one.
    QStringList grid;
    for (int s = 1; s <= 8; ++s) {
        for (int k = 0; k < 16; ++k)
            grid << QStringLiteral("incheck%1(%2)").arg(s).arg(k);
        for (int k = 0; k < 8; ++k)
            grid << QStringLiteral("outcheck%1(%2)").arg(s).arg(k);
    }
    const qsizetype start = chain.indexOf(grid.first());
    ASSERT_GE(start, chain.indexOf(QStringLiteral("CmdClearCounter")));
    EXPECT_EQ(chain.mid(start, grid.size()), grid);
    // The terminal after the grid: receive, send, files.
    EXPECT_TRUE(inOrder(chain, {"outcheck8(7)", "Command2", "TxtReceive", "ChkHexReceive", "ChkAutoClear",
                                "CmdStopdisp", "CmdClearReceive", "TxtSend", "ChkHexSend", "ChkAutoSend",
                                "TxtAutoSendTime", "CmdSend", "CmdClearSend", "CmdSelectFile", "TxtSendPath",
                                "CmdSendFile", "CmdSaveDisp", "TxtSavePath"}))
        << chain.join(QLatin1Char(' ')).toStdString();
}

TEST_F(Accessibility, AfterASearchTheFocusStaysOnTheSearchButton)
{
    auto *sdevice = control<QPushButton>(w.get(), QStringLiteral("sdevice"));
    sdevice->setFocus();
    ASSERT_EQ(w->focusWidget(), sdevice);
    QTest::keyClick(sdevice, Qt::Key_Space);
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, frames::SearchFrame());
    EXPECT_EQ(w->focusWidget(), sdevice);
    // A second Space searches again instead of opening the status window.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[1].bytes, frames::SearchFrame());
    EXPECT_EQ(w->statusWindows()->statusWindow(), nullptr);
}

TEST_F(Accessibility, OnASmallScreenEveryControlScrollsIntoView)
{
    auto *area = control<QScrollArea>(w.get(), QStringLiteral("ContentScroll"));
    QWidget *content = w->content();
    // The window opens at its size; the content reaches the terminal.
    EXPECT_EQ(area->viewport()->size(), QSize(1207, 684));
    EXPECT_GE(content->width(), 1790);
    EXPECT_EQ(w->maximumSize().width(), content->width());
    EXPECT_GE(w->maximumSize().height(), content->height());
    EXPECT_EQ(control(w.get(), QStringLiteral("sdevice"))->parentWidget(), content);
    auto *receive = control(w.get(), QStringLiteral("TxtReceive"));
    EXPECT_TRUE(receive->visibleRegion().isEmpty());

    for (const QSize laptop : {QSize(1366, 768), QSize(1024, 600)}) {
        SCOPED_TRACE(laptop.width());
        w->resize(laptop);
        QApplication::processEvents();
        int reached = 0;
        for (QWidget *c : content->findChildren<QWidget *>()) {
            if (c->isWindow() || c->window() != w.get() || !c->isVisibleTo(w.get()) || c->focusPolicy() == Qt::NoFocus)
                continue;
            // Left out: what its own parent cuts off by design (the grid's lower
            // steps, reached with the grid's bar; the port settings beyond the
            // port frame's edge).
            const QRect inContent(c->mapTo(content, QPoint(0, 0)), c->size());
            if (!inParents(c, content))
                continue;
            // What the area does when the focus reaches a control: some of it
            // comes into view (a text box shows its cursor).
            area->ensureWidgetVisible(c, 0, 0);
            EXPECT_FALSE(c->visibleRegion().isEmpty()) << c->objectName().toStdString();
            // And the scroll range lets the whole control be shown.
            area->ensureVisible(inContent.center().x(), inContent.center().y(), c->width() / 2 + 1,
                                c->height() / 2 + 1);
            const QRect inView(c->mapTo(area->viewport(), QPoint(0, 0)), c->size());
            EXPECT_TRUE(area->viewport()->rect().contains(inView))
                << c->objectName().toStdString() << " at " << inView.x() << "," << inView.y() << " " << inView.width() << "x" << inView.height()
                << " in " << area->viewport()->width() << "x" << area->viewport()->height();
            ++reached;
        }
        EXPECT_GT(reached, 100);
        area->ensureWidgetVisible(receive, 0, 0);
        EXPECT_FALSE(receive->visibleRegion().isEmpty());
    }
}
