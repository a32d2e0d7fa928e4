#include "terminal/terminalfiles.h"

#include "terminal/gbk.h"
#include "protocol/hexdigit.h"
#include "serial/portsettings.h"
#include "serial/serialport.h"

#include <QFile>
#include <QFileInfo>

namespace terminalfiles {

QByteArray saveBlock(const QString &boxText)
{
    return gbk::encode(boxText) + QByteArrayLiteral("\r\n\r\n");
}

bool appendSaveBlock(const QString &path, const QString &boxText, QString *error)
{
    QByteArray content;
    QFile existing(path);
    if (existing.exists()) {
        if (QFileInfo(path).isDir() || !existing.open(QIODevice::ReadOnly)) {
            if (error)
                *error = existing.errorString();
            return false;
        }
        content = existing.readAll();
        const bool failed = existing.error() != QFileDevice::NoError;
        existing.close();
        if (failed) {
            if (error)
                *error = existing.errorString();
            return false;
        }
    }
    content += saveBlock(boxText);
    return writeFileAtomically(path, content, error);
}


HexText parseHexText(const QByteArray &file)
{
    HexText r;
    r.bytes.reserve(file.size() / 2);
    qsizetype i = file.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    int high = -1;
    for (; i < file.size(); ++i) {
        const char c = file.at(i);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        const int v = hexDigitValue(c);
        if (v < 0) {
            r.stopped = true;
            r.stopOffset = i;
            break;
        }
        if (high < 0) {
            high = v;
        } else {
            r.bytes.append(char(high * 16 + v));
            high = -1;
        }
    }
    r.oddDigit = high >= 0;
    return r;
}

qint64 bytesPerSecond(const QString &settings)
{
    LineSettings ls;
    if (!parseLineSettings(settings, &ls) || ls.baud <= 0)
        return 0;
    const int bits = 1 + ls.dataBits + (ls.parity == 'N' ? 0 : 1) + ls.stopBits;
    return qMax<qint64>(1, ls.baud / bits);
}

} // namespace terminalfiles
