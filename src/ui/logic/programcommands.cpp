// Program files in the window: save, load and clear the step grid.
#include "logic/programcommands.h"

#include "app/dialogs.h"
#include "app/messages.h"
#include "logic/logicstep.h"
#include "logic/namesfile.h"
#include "logic/namesgroup.h"
#include "logic/stepgrid.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

namespace {

// The plain caption of name index k: "X00".."X07" (0..7), "Y00".."Y07" (8..15).
QString plainCaption(int k)
{
    return signalName(k < 8 ? QLatin1Char('X') : QLatin1Char('Y'), k % 8);
}

} // namespace

ProgramCommands::ProgramCommands(QWidget *host, StepGrid *grid, NamesGroup *names, Messages *messages)
    : QObject(host), m_grid(grid), m_names(names), m_messages(messages)
{
    setObjectName(QStringLiteral("programCommands"));
    // The actions belong to this group (tests find them by name); the window
    // carries them too, so their shortcuts work wherever its focus is.
    auto action = [this, host](const char *name, const QString &text, const QKeySequence &keys, void (ProgramCommands::*slot)()) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        host->addAction(a);
        return a;
    };
    mnuSaveProgram = action("mnuSaveProgram", QStringLiteral("保存程序…"), QKeySequence(Qt::CTRL | Qt::Key_S),
                            &ProgramCommands::mnuSaveProgram_Click);
    mnuLoadProgram = action("mnuLoadProgram", QStringLiteral("载入程序…"), QKeySequence(Qt::CTRL | Qt::Key_O),
                            &ProgramCommands::mnuLoadProgram_Click);
    mnuClearProgram = action("mnuClearProgram", QStringLiteral("清空程序"), QKeySequence(),
                             &ProgramCommands::mnuClearProgram_Click);

    // The grid's context menu: a right click anywhere on the steps (boxes
    // and frames pass it on to the panel).
    GridMenu = new QMenu(host);
    GridMenu->setObjectName(QStringLiteral("GridMenu"));
    GridMenu->addAction(mnuSaveProgram);
    GridMenu->addAction(mnuLoadProgram);
    GridMenu->addSeparator();
    GridMenu->addAction(mnuClearProgram);
    QWidget *panel = m_grid->panel();
    panel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(panel, &QWidget::customContextMenuRequested, this, &ProgramCommands::showMenu);
}

void ProgramCommands::showMenu(const QPoint &pos)
{
    // Not exec(): the menu does not hold the caller in a loop of its own.
    GridMenu->popup(m_grid->panel()->mapToGlobal(pos));
}

std::optional<QString> ProgramCommands::chooseFile(bool save)
{
    Dialogs::FileRequest r;
    r.save = save;
    r.title = save ? QStringLiteral("保存程序") : QStringLiteral("载入程序");
    // Shown as "Kestrune程序 (*.kprog)".
    r.filter = QStringLiteral("Kestrune程序|*.") + QLatin1String(programfile::kSuffix);
    r.fileName = m_fileName;
    r.confirmOverwrite = save;
    r.defaultSuffix = QLatin1String(programfile::kSuffix);
    std::optional<QString> chosen = m_messages->dialogs()->file(r);
    if (m_messages->quitting() || !chosen || chosen->trimmed().isEmpty())
        return std::nullopt;
    m_fileName = *chosen;
    return chosen;
}

std::optional<programfile::Program> ProgramCommands::gridProgram(QString *problem) const
{
    programfile::Program p;
    for (int s = 1; s <= 8; ++s)
        p.steps[s - 1] = m_grid->ReadLogicStep(s);
    for (int k = 0; k < 16; ++k) {
        const QString caption = k < 8 ? m_grid->InputCaption(k) : m_grid->OutputCaption(k - 8);
        if (caption == plainCaption(k))
            continue;
        const QString prefix = namesfile::prefix(k);
        if (!caption.startsWith(prefix)) {
            // A names file with its lines in another order puts such
            // captions on the boxes; a program file cannot give them back.
            if (problem)
                *problem = QStringLiteral("%1的标题“%2”不以“%3”开头，不能作为名称保存").arg(plainCaption(k), caption, prefix);
            return std::nullopt;
        }
        p.names[k] = caption.mid(prefix.size());
    }
    return p;
}

void ProgramCommands::showProgram(const programfile::Program &program)
{
    m_grid->SetLogicSteps(program.steps);
    QStringList lines;
    for (int k = 0; k < 16; ++k)
        lines << (program.names[k] ? namesfile::prefix(k) + *program.names[k] : plainCaption(k));
    m_names->ShowNameLines(lines);
}

void ProgramCommands::mnuSaveProgram_Click()
{
    QString problem;
    const std::optional<programfile::Program> program = gridProgram(&problem);
    if (!program) {
        m_messages->show(QStringLiteral("程序没有保存：\n%1").arg(problem), Dialogs::Warning);
        return;
    }
    const std::optional<QString> path = chooseFile(true);
    if (!path)
        return;
    // Written whole or not at all; a failure is shown, success is not.
    if (const programfile::Error e = programfile::save(*path, *program))
        m_messages->show(QStringLiteral("程序没有保存：%1\n%2").arg(*path, e.textZh()), Dialogs::Warning);
}

void ProgramCommands::mnuLoadProgram_Click()
{
    const std::optional<QString> path = chooseFile(false);
    if (!path)
        return;
    // The whole file is checked before the grid changes.
    const programfile::Result r = programfile::load(*path);
    if (!r.ok()) {
        m_messages->show(QStringLiteral("程序没有载入：%1\n%2").arg(*path, r.error.textZh()), Dialogs::Warning);
        return;
    }
    showProgram(r.program);
}

void ProgramCommands::mnuClearProgram_Click()
{
    // Every box off as if unticked; the captions stay.
    m_grid->SetLogicSteps(programfile::Program().steps);
}
