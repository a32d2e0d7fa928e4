#include "app/recentlayout.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace ui {

// Rides on a line that holds (or held) its glyphs: the document deletes it
// with the line, so a removed line is never reached through a stale handle.
class RecentLayout::Mark : public QTextBlockUserData
{
public:
    Mark(RecentLayout *owner, QTextLayout *layout) : owner(owner), layout(layout) {}
    ~Mark() override
    {
        if (owner)
            owner->forget(this);
    }
    RecentLayout *owner;
    QTextLayout *layout;
};

RecentLayout::RecentLayout(QTextDocument *document, int keep) : QPlainTextDocumentLayout(document), m_keep(keep) {}

RecentLayout *RecentLayout::install(QPlainTextEdit *edit, int keep)
{
    auto *doc = new QTextDocument(edit);
    auto *layout = new RecentLayout(doc, keep);
    doc->setDocumentLayout(layout);
    doc->setDefaultFont(edit->font());
    layout->setPaintDevice(edit->viewport());
    edit->setDocument(doc);
    return layout;
}

RecentLayout::~RecentLayout()
{
    for (Mark *m : std::as_const(m_marks))
        m->owner = nullptr;
}

void RecentLayout::forget(Mark *mark)
{
    m_marks.removeOne(mark);
}

void RecentLayout::release(Mark *mark)
{
    // Laying out nothing frees what the layout held; the plain layout lays
    // the line out again (without keeping glyphs) when it is next needed.
    QTextLayout *layout = mark->layout;
    layout->setCacheEnabled(false);
    layout->beginLayout();
    layout->endLayout();
}

void RecentLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    // The changed lines keep their glyphs from the layout that follows; of a
    // long change (a whole text set at once) only its last lines do. Text
    // only taken away (the head of the box dropped) adds no line to keep.
    if (charsAdded == 0) {
        QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
        return;
    }
    QTextDocument *doc = document();
    const QTextBlock first = doc->findBlock(from);
    // The block where the change ends: after a line break that is the new line.
    QTextBlock block = doc->findBlock(from + charsAdded);
    if (!block.isValid())
        block = doc->lastBlock();
    QList<QTextBlock> changed;
    for (int n = 0; n < m_keep && block.isValid(); ++n) {
        changed.prepend(block);
        if (block == first)
            break;
        block = block.previous();
    }
    for (QTextBlock &b : changed) {
        auto *mark = dynamic_cast<Mark *>(b.userData());
        if (!mark) {
            mark = new Mark(this, b.layout());
            b.setUserData(mark);
        } else if (mark->owner == this) {
            m_marks.removeOne(mark);
        } else {
            mark->owner = this;
        }
        mark->layout->setCacheEnabled(true);
        m_marks.append(mark);
    }
    while (m_marks.size() > m_keep) {
        Mark *oldest = m_marks.takeFirst();
        oldest->owner = nullptr;
        release(oldest);
    }
    QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
}

} // namespace ui
