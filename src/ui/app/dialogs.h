#pragma once

#include <QString>

#include <optional>

// Every message box and file dialog of the program goes through this
// interface: the real one shows Qt dialogs, the one in the tests answers from
// a script and records what was asked.
class Dialogs
{
public:
    enum Icon { Information, Warning, Critical };

    struct FileRequest
    {
        bool save = false;
        QString title;       // empty: the platform's default title
        QString filter;      // "description|*.ext|description|*.ext"
        int filterIndex = 1; // 1-based
        QString initDir;
        QString fileName;    // preselected name
        bool confirmOverwrite = false;
        QString defaultSuffix; // added to a saved name typed without one
    };

    virtual ~Dialogs() = default;
    // A message box with an OK button only; returns when it is closed.
    virtual void message(const QString &title, const QString &text, Icon icon) = 0;
    // The chosen path, or nullopt when the dialog was cancelled.
    virtual std::optional<QString> file(const FileRequest &request) = 0;
};

// A file dialog that keeps its settings and the last file name from one use
// to the next, like the program's shared open/save dialog.
class CommonDialog
{
public:
    explicit CommonDialog(Dialogs *dialogs) : m_dialogs(dialogs) {}

    int Flags = 0; // 1: read-only box checked, 2: ask before overwriting
    QString DialogTitle;
    QString Filter;
    int FilterIndex = 1;
    QString InitDir;
    QString FileName;

    // Both return false when cancelled; FileName then keeps what it held.
    bool ShowOpen();
    bool ShowSave();

private:
    bool show(bool save);
    Dialogs *m_dialogs;
};

// A folder for the save dialog: the given one where it exists, else the home folder.
QString existingFolderOrHome(const QString &folder);

// Qt's dialogs.
class QWidget;
class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void message(const QString &title, const QString &text, Icon icon) override;
    std::optional<QString> file(const FileRequest &request) override;

private:
    QWidget *m_parent;
};
