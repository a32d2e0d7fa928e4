#pragma once

#include <QList>
#include <QPlainTextDocumentLayout>

class QPlainTextEdit;
class QTextLayout;

namespace ui {

// A plain-text layout that keeps the shaped glyphs of the newest lines. A
// plain layout shapes a line when it lays it out, throws the glyphs away, and
// shapes it again on every paint and every caret move. A box that follows a
// stream repaints its last lines many times a second, so those lines keep
// their glyphs; older lines give them back, which bounds the memory.
class RecentLayout : public QPlainTextDocumentLayout
{
    Q_OBJECT
public:
    // Keeps the glyphs of the `keep` most recently changed lines.
    explicit RecentLayout(QTextDocument *document, int keep = 64);
    ~RecentLayout() override;

    // Gives edit a new, empty document laid out this way, set up as the
    // edit sets up its own (the edit's font, its viewport for metrics).
    static RecentLayout *install(QPlainTextEdit *edit, int keep = 64);

    // Lines that hold their glyphs at the moment.
    int cachedLines() const { return int(m_marks.size()); }

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    class Mark;
    void forget(Mark *mark);
    void release(Mark *mark);

    int m_keep;
    QList<Mark *> m_marks; // oldest first
};

} // namespace ui
