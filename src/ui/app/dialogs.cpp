#include "app/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>

bool CommonDialog::ShowOpen()
{
    return show(false);
}

bool CommonDialog::ShowSave()
{
    return show(true);
}

bool CommonDialog::show(bool save)
{
    if (!m_dialogs)
        return false;
    Dialogs::FileRequest r;
    r.save = save;
    r.title = DialogTitle;
    r.filter = Filter;
    r.filterIndex = FilterIndex;
    r.initDir = InitDir;
    r.fileName = FileName;
    r.confirmOverwrite = (Flags & 2) != 0;
    const auto chosen = m_dialogs->file(r);
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}

QString existingFolderOrHome(const QString &folder)
{
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    return QDir::homePath();
}

void QtDialogs::message(const QString &title, const QString &text, Icon icon)
{
    QMessageBox::Icon i = QMessageBox::Information;
    if (icon == Warning)
        i = QMessageBox::Warning;
    else if (icon == Critical)
        i = QMessageBox::Critical;
    QPointer<QMessageBox> box = new QMessageBox(i, title, text, QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->exec();
}

// "desc|*.txt|desc2|*.a" -> "desc (*.txt);;desc2 (*.a)"
static QStringList qtFilters(const QString &filter)
{
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]);
    return out;
}

std::optional<QString> QtDialogs::file(const FileRequest &r)
{
    QPointer<QFileDialog> d = new QFileDialog(m_parent, r.title);
    d->setAttribute(Qt::WA_DeleteOnClose, false);
    d->setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d->setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!r.confirmOverwrite)
        d->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!r.defaultSuffix.isEmpty())
        d->setDefaultSuffix(r.defaultSuffix);
    const QStringList filters = qtFilters(r.filter);
    if (!filters.isEmpty()) {
        d->setNameFilters(filters);
        d->selectNameFilter(filters.value(qMax(0, r.filterIndex - 1)));
    }
    QString dir = r.initDir;
    if (!r.fileName.isEmpty()) {
        const QFileInfo fi(r.fileName);
        if (fi.isAbsolute())
            dir = fi.absolutePath();
        d->selectFile(fi.fileName());
    }
    d->setDirectory(existingFolderOrHome(dir));
    const int result = d->exec();
    if (!d)
        return std::nullopt; // the dialog went away with its parent
    std::optional<QString> chosen;
    if (result == QDialog::Accepted && !d->selectedFiles().isEmpty())
        chosen = d->selectedFiles().first();
    delete d;
    return chosen;
}
