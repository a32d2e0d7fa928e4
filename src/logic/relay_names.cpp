// The name editor button and the loading of a names file into the grid.
#include "app/relay.h"

#include "logic/editform.h"
#include "logic/namesfile.h"

#include <QFile>
#include <QPlainTextEdit>

void relay::editname_Click()
{
    if (!nameEditor)
        nameEditor = new editform(this); // deleted when closed, so the next opening starts empty
    nameEditor->show();
    nameEditor->raise();
    nameEditor->activateWindow();
}

void relay::loadname_Click()
{
    // The shared dialog: a cancel leaves the name it already held, and that
    // name is loaded again.
    CommonDialog1.DialogTitle = QStringLiteral("打开文件");
    CommonDialog1.ShowOpen();
    if (m_quitting)
        return;
    const QString path = CommonDialog1.FileName;
    if (TxtSendPath)
        TxtSendPath->setPlainText(path);
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
    for (int k = 0; k < 8; ++k) {
        SetInputCaption(k, lines->at(k));
        SetOutputCaption(k, lines->at(8 + k));
    }
}
