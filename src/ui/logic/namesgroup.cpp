// The name editor button and the loading of a names file into the grid.
#include "logic/namesgroup.h"

#include "app/dialogs.h"
#include "app/messages.h"
#include "app/widgets.h"
#include "logic/editform.h"
#include "logic/namesfile.h"
#include "logic/stepgrid.h"

#include <QPushButton>

#include <QFile>
#include <QPlainTextEdit>

NamesGroup::NamesGroup(QWidget *host, StepGrid *grid, CommonDialog *dialog, Messages *messages)
    : QObject(host), m_host(host), m_grid(grid), CommonDialog1(dialog), m_messages(messages)
{
    setObjectName(QStringLiteral("namesGroup"));
    for (auto [name, y] : {std::pair{"loadname", 464}, std::pair{"editname", 512}}) {
        auto *b = ui::place<QPushButton>(host, QLatin1String(name), 8, y, 97, 33,
                                         y == 464 ? QStringLiteral("载入名称") : QStringLiteral("编辑名称"));
        b->setFont(ui::simSun(y == 464 ? 14.25 : 15));
        connect(b, &QPushButton::clicked, this, y == 464 ? &NamesGroup::loadname_Click : &NamesGroup::editname_Click);
    }
}

void NamesGroup::editname_Click()
{
    if (!m_editor) // deleted when closed, so the next opening starts empty
        m_editor = new editform(m_host, m_messages);
    m_editor->show();
    m_editor->raise();
    m_editor->activateWindow();
}

void NamesGroup::loadname_Click()
{
    // The shared dialog: a cancel leaves the name it already held, and that
    // name is loaded again.
    CommonDialog1->DialogTitle = QStringLiteral("打开文件");
    CommonDialog1->ShowOpen();
    if (m_messages->quitting())
        return;
    const QString path = CommonDialog1->FileName;
    emit fileChosen(path);
    if (path.isEmpty())
        return;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Only the first sixteen lines matter: stop reading once they are in.
    QByteArray bytes;
    qsizetype lineEnds = 0;
    while (lineEnds < namesfile::kLineCount) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        lineEnds += chunk.count('\r');
        bytes += chunk;
    }
    file.close();

    // A short file changes nothing.
    const std::optional<QStringList> lines = namesfile::parse(bytes);
    if (!lines)
        return;
    ShowNameLines(*lines);
}

void NamesGroup::ShowNameLines(const QStringList &lines)
{
    if (lines.size() < namesfile::kLineCount)
        return;
    for (int k = 0; k < 8; ++k) {
        m_grid->SetInputCaption(k, lines.at(k));
        m_grid->SetOutputCaption(k, lines.at(8 + k));
    }
}
