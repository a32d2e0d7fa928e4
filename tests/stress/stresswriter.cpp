#include "stresswriter.h"

#include "logic/namesfile.h"
#include "serial/portsettings.h"

#include <QStringList>

namespace stresswriter {

QByteArray content(const QString &kind, bool second)
{
    if (kind == QLatin1String("settings")) {
        PortBoxes b;
        if (second) {
            b.com = QStringLiteral("COM12");
            b.baud = QStringLiteral("115200");
            b.parity = QStringLiteral("EVEN");
            b.data = QStringLiteral("7");
            b.stop = QStringLiteral("2");
        }
        return formatSettingsFile(b);
    }
    QStringList names;
    for (int i = 0; i < namesfile::kLineCount; ++i)
        names << (second ? QStringLiteral("第二组名称%1水泵").arg(i) : QStringLiteral("name %1").arg(i));
    return namesfile::format(names);
}

bool write(const QString &kind, const QString &path, bool second)
{
    return writeFileAtomically(path, content(kind, second));
}

} // namespace stresswriter
