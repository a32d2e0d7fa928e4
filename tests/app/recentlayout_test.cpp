// The plain-text layout that keeps the glyphs of the newest lines only.
#include "app/recentlayout.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <gtest/gtest.h>

namespace {
struct Box
{
    QPlainTextEdit edit;
    ui::RecentLayout *layout = ui::RecentLayout::install(&edit, 8);
    QTextDocument *doc = edit.document();
    Box()
    {
        edit.resize(300, 120);
        edit.show();
    }
    void append(const QString &text)
    {
        QTextCursor end(doc);
        end.movePosition(QTextCursor::End);
        end.insertText(text);
        edit.moveCursor(QTextCursor::End);
    }
};
} // namespace

TEST(RecentLayout, OnlyTheNewestLinesKeepTheirGlyphsAndOthersAreLaidOutAgainWhenShown)
{
    Box box;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box.edit));
    for (int i = 0; i < 60; ++i)
        box.append(QStringLiteral("line %1 of a stream\n").arg(i));
    box.append(QStringLiteral("a few\nlines in\none go\n"));
    QTest::qWait(20);
    EXPECT_EQ(box.layout->cachedLines(), 8);
    EXPECT_TRUE(box.doc->lastBlock().layout()->cacheEnabled());
    EXPECT_FALSE(box.doc->findBlockByNumber(10).layout()->cacheEnabled());

    // An old line that gave its glyphs back is laid out again when it is shown.
    box.edit.verticalScrollBar()->setValue(0);
    box.edit.grab();
    const QTextBlock old = box.doc->findBlockByNumber(1);
    EXPECT_GT(box.layout->blockBoundingRect(old).height(), 0);
    EXPECT_EQ(old.layout()->lineCount(), 1);
    EXPECT_EQ(box.doc->toPlainText().count(QLatin1Char('\n')), 63);

    // A line changed again is among the newest again.
    QTextCursor c(box.doc->findBlockByNumber(2));
    c.insertText(QStringLiteral("edited "));
    EXPECT_TRUE(box.doc->findBlockByNumber(2).layout()->cacheEnabled());
    EXPECT_EQ(box.layout->cachedLines(), 8);
}

TEST(RecentLayout, RemovedLinesLeaveNothingBehind)
{
    Box box;
    for (int i = 0; i < 30; ++i)
        box.append(QStringLiteral("line %1\n").arg(i));
    // The head of the box dropped, down into the newest lines.
    QTextCursor head(box.doc);
    head.setPosition(box.doc->findBlockByNumber(26).position(), QTextCursor::KeepAnchor);
    head.removeSelectedText();
    EXPECT_LE(box.layout->cachedLines(), 5);
    // A whole new text: of a long one only its last lines keep glyphs.
    QString many;
    for (int i = 0; i < 500; ++i)
        many += QStringLiteral("new %1\n").arg(i);
    box.edit.setPlainText(many);
    EXPECT_EQ(box.layout->cachedLines(), 8);
    box.edit.clear();
    EXPECT_LE(box.layout->cachedLines(), 1);
    box.append(QStringLiteral("after\n"));
    EXPECT_EQ(box.doc->toPlainText(), "after\n");
}
