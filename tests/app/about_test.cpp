// The About window and the web link.
#include "relayfixture.h"
#include "controls.h"

#include "app/frmhelp.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {
QList<FrmHelp *> openAboutWindows()
{
    QList<FrmHelp *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *f = qobject_cast<FrmHelp *>(w); f && f->isVisible())
            out << f;
    return out;
}

void moveOver(QWidget *target, QPoint local)
{
    QMouseEvent e(QEvent::MouseMove, QPointF(local), QPointF(target->mapToGlobal(local)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

QColor textColor(QWidget *w)
{
    return w->palette().color(QPalette::WindowText);
}
} // namespace

using About = RelayFixture;

TEST_F(About, HelpButtonShowsOneWindowAndANewOneAfterClosing)
{
    start();
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdHelp"))->text(), "关于");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdHelp"))->geometry(), QRect(1224, 632, 58, 20));
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdHelp")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdHelp")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdHelp")), Qt::LeftButton);
    auto open = openAboutWindows();
    ASSERT_EQ(open.size(), 1);
    FrmHelp *first = open[0];
    EXPECT_EQ(w->about()->aboutWindow(), first);
    EXPECT_EQ(first->windowTitle(), "关于DorrinV1.0");
    EXPECT_EQ(first->size(), QSize(339, 199));
    EXPECT_EQ(control<QPlainTextEdit>(first, QStringLiteral("Txt"))->objectName(), "Txt");
    EXPECT_EQ(control<QPlainTextEdit>(first, QStringLiteral("Txt"))->geometry(), QRect(8, 8, 281, 121));
    EXPECT_TRUE(control<QPlainTextEdit>(first, QStringLiteral("Txt"))->isReadOnly());
    EXPECT_TRUE(control<QPlainTextEdit>(first, QStringLiteral("Txt"))->toPlainText().startsWith(QStringLiteral("Kestrune V1.0")));
    EXPECT_EQ(control<QPushButton>(first, QStringLiteral("CmdAssurance"))->text(), "确  定");
    EXPECT_EQ(control<QPushButton>(first, QStringLiteral("CmdAssurance"))->geometry(), QRect(208, 16, 73, 25));
    // The button is in front of the text box it overlaps.
    EXPECT_EQ(first->childAt(240, 28), control<QPushButton>(first, QStringLiteral("CmdAssurance")));
    const QString text = control<QPlainTextEdit>(first, QStringLiteral("Txt"))->toPlainText();

    QPointer<FrmHelp> old(first);
    QTest::mouseClick(control<QPushButton>(first, QStringLiteral("CmdAssurance")), Qt::LeftButton);
    EXPECT_EQ(w->about()->aboutWindow(), nullptr);
    EXPECT_TRUE(openAboutWindows().isEmpty());
    // Pressed again before the closed window is gone: still a fresh one.
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdHelp")), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    open = openAboutWindows();
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(control<QPlainTextEdit>(open[0], QStringLiteral("Txt"))->toPlainText(), text);

    // Closing through the window frame works the same way.
    open[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w->about()->aboutWindow(), nullptr);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdHelp")), Qt::LeftButton);
    EXPECT_EQ(openAboutWindows().size(), 1);
}

TEST_F(About, WebLinkOpensItsPageAndShowsHoverUntilThePointerIsOverTheBackground)
{
    start();
    QStringList opened;
    w->about()->OpenWebPage = [&](const QString &url) { opened << url; };
    EXPECT_EQ(textColor(control<QLabel>(w.get(), QStringLiteral("LblWeb"))), QColor(0, 0, 255));
    EXPECT_TRUE(control<QLabel>(w.get(), QStringLiteral("LblWeb"))->font().underline());

    QTest::mouseClick(control<QLabel>(w.get(), QStringLiteral("LblWeb")), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith(QStringLiteral("https://")));
    EXPECT_TRUE(opened[0].contains(QStringLiteral("Modbus"), Qt::CaseInsensitive));

    moveOver(control<QLabel>(w.get(), QStringLiteral("LblWeb")), QPoint(3, 3));
    EXPECT_EQ(textColor(control<QLabel>(w.get(), QStringLiteral("LblWeb"))), QColor(57, 120, 138));
    EXPECT_EQ(control<QLabel>(w.get(), QStringLiteral("LblWeb"))->cursor().shape(), Qt::PointingHandCursor);
    // Straight onto another control: the hover stays.
    moveOver(control<QLabel>(w.get(), QStringLiteral("Label1")), QPoint(2, 2));
    EXPECT_EQ(textColor(control<QLabel>(w.get(), QStringLiteral("LblWeb"))), QColor(57, 120, 138));
    // Over the window's background: back to the link colour and the arrow.
    QWidget *content = w->content(); // the window's background, under its scroll area
    QPoint background;
    for (int y = 0; y < w->height() && background.isNull(); y += 4)
        for (int x = 0; x < w->width(); x += 4)
            if (!content->childAt(x, y) && x > 0 && y > 0) {
                background = QPoint(x, y);
                break;
            }
    ASSERT_FALSE(background.isNull());
    moveOver(content, background);
    EXPECT_EQ(textColor(control<QLabel>(w.get(), QStringLiteral("LblWeb"))), QColor(0, 0, 255));
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(opened.size(), 1);
}
