#pragma once

#include "logic/programfile.h"

#include <QObject>
#include <QString>

#include <optional>

class Messages;
class NamesGroup;
class QAction;
class QMenu;
class QPoint;
class QWidget;
class StepGrid;

// Program files in the window: saving the grid with its captions to a .kprog
// file and loading one into it (Ctrl+S, Ctrl+O), and clearing the grid. The
// three commands sit in the grid's context menu; the shortcuts work wherever
// the focus is in the main window.
class ProgramCommands : public QObject
{
    Q_OBJECT
public:
    ProgramCommands(QWidget *host, StepGrid *grid, NamesGroup *names, Messages *messages);

    // The grid as a program: its eight steps, and a name for every box whose
    // caption a names file or a program gave ("X03:" and the name). Fails
    // for a caption that does not start with its own prefix.
    std::optional<programfile::Program> gridProgram(QString *problem) const;
    // Shows a program in the grid as if its boxes had been clicked; every
    // caption follows the program (a name not given: the plain caption).
    void showProgram(const programfile::Program &program);

public slots:
    void mnuSaveProgram_Click();
    void mnuLoadProgram_Click();
    void mnuClearProgram_Click();

private:
    void showMenu(const QPoint &pos);
    std::optional<QString> chooseFile(bool save);

    StepGrid *m_grid;
    NamesGroup *m_names;
    Messages *m_messages;
    QMenu *GridMenu;
    QAction *mnuSaveProgram, *mnuLoadProgram, *mnuClearProgram;
    // The last program file chosen; the next dialog starts on it.
    QString m_fileName;
};
