#pragma once

#include "app/dialogs.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Messages;

// The name editor: a box per input and output, saved to a names file. It
// neither reads a names file nor the grid; names reach the grid only through
// a file loaded in the main window. Modeless; deleted when closed.
class editform : public QWidget
{
    Q_OBJECT
public:
    editform(QWidget *parent, Messages *messages);

    // The editor's own file dialog.
    CommonDialog CommonDialog1;

    // The sixteen names in file order.
    QStringList names() const;

public slots:
    void Command1_Click();
    void Command2_Click();

private:
    QGroupBox *Frame1[2] = {};
    // Label1[0..7]: X00..X07; Label1[15 - k]: Y0k.
    QLabel *Label1[16] = {};
    // Text1[k]: name of X0k; Text1[8 + k]: name of Y0k.
    QLineEdit *Text1[16] = {};
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    Messages *m_messages;
};
