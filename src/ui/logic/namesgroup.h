#pragma once

#include "logic/editform.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class CommonDialog;
class Messages;
class QPushButton;
class QWidget;
class StepGrid;


// The names of the inputs and relays: loading a names file into the grid's
// captions, and the name editor.
class NamesGroup : public QObject
{
    Q_OBJECT
public:
    // dialog: the window's shared open/save dialog (it keeps its last name).
    NamesGroup(QWidget *host, StepGrid *grid, CommonDialog *dialog, Messages *messages);

    void setGrid(StepGrid *grid) { m_grid = grid; }
    // The name editor while it is open.
    editform *nameEditor() const { return m_editor.data(); }

public slots:
    void loadname_Click();
    void editname_Click();
    // Sixteen caption lines, X00's to Y07's, put on the grid's boxes as a
    // loaded names file puts them.
    void ShowNameLines(const QStringList &lines);

signals:
    // The loaded file's path (the send path box shows it).
    void fileChosen(const QString &path);

private:
    QWidget *m_host;
    StepGrid *m_grid;
    CommonDialog *CommonDialog1;
    Messages *m_messages;
    QPointer<editform> m_editor;
};
