#include "serial/portsettings.h"

#include "terminal/gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

QString PortSettings::settingsText() const
{
    return QStringLiteral("%1,%2,%3,%4").arg(baud, parity).arg(dataBits).arg(stopBits);
}

double leadingNumber(const QString &text)
{
    int i = 0;
    const int n = text.size();
    QString num;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        num += text[i++];
    bool digits = false, point = false;
    while (i < n) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits = true;
            num += c;
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
            num += c;
        } else {
            break;
        }
        ++i;
    }
    if (!digits)
        return 0;
    bool ok = false;
    const double v = num.toDouble(&ok);
    return ok ? v : 0;
}

int roundHalfEven(double v)
{
    if (!std::isfinite(v) || v > 2147483647.0 || v < -2147483648.0)
        return 0;
    return int(std::nearbyint(v)); // the default rounding mode rounds halves to even
}

static std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 32767)
        return std::nullopt;
    return roundHalfEven(v);
}

std::optional<PortSettings> formPortSettings(const PortBoxes &boxes)
{
    PortSettings s;
    // Characters 4 and 5 of "COMnn", read up to the first non-digit.
    const QString digits = boxes.com.mid(3, 2);
    int port = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        port = port * 10 + (c.unicode() - '0');
    }
    s.port = port;
    s.baud = boxes.baud;
    if (boxes.parity.isEmpty())
        return std::nullopt;
    s.parity = boxes.parity.left(1);
    const auto data = wholeNumber(boxes.data);
    const auto stop = wholeNumber(boxes.stop);
    if (!data || !stop)
        return std::nullopt;
    s.dataBits = *data;
    s.stopBits = *stop;
    return s;
}

SettingsFileContent parseSettingsFile(const QByteArray &bytes)
{
    SettingsFileContent c;
    QString text = gbk::decode(bytes);
    text.remove(QLatin1Char(' '));
    int pos = 0;
    while (c.lines.size() < 5) {
        const int end = text.indexOf(QLatin1String("\r\n"), pos);
        if (end < 0)
            break;
        c.lines << text.mid(pos, end - pos);
        pos = end + 2;
    }
    c.complete = c.lines.size() == 5;
    return c;
}

QByteArray formatSettingsFile(const PortBoxes &b)
{
    QByteArray out;
    for (const QString &line : {b.com, b.baud, b.parity, b.data, b.stop}) {
        out += gbk::encode(line);
        out += "\r\n";
    }
    return out;
}

QString settingsFilePath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("sysini.txt"));
}

QString settingsFolderFor(const QString &exeDir, const QString &userFolder)
{
    if (exeDir.isEmpty())
        return userFolder;
    const QFileInfo fi(exeDir);
    const bool installed =
        QFileInfo::exists(QDir(exeDir).filePath(QStringLiteral("../share/applications/kestrune.desktop")));
    if (fi.isDir() && fi.isWritable() && !installed)
        return exeDir;
    return userFolder;
}

QString defaultSettingsFolder()
{
    const QString folder = settingsFolderFor(QCoreApplication::applicationDirPath(),
                                             QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    QDir().mkpath(folder);
    return folder;
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    if (f.write(bytes) != bytes.size()) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
        return false;
    }
    if (!f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}
