#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The texts of the five port boxes, in the order the settings file keeps them.
struct PortBoxes
{
    QString com = QStringLiteral("COM1");
    QString baud = QStringLiteral("9600");
    QString parity = QStringLiteral("NONE");
    QString data = QStringLiteral("8");
    QString stop = QStringLiteral("1");
};

// The port settings formed from the boxes each time a port operation runs.
struct PortSettings
{
    int port = 0;        // 0 when the box text yields no number
    QString baud;        // unchanged
    QString parity;      // first character of the parity box
    int dataBits = 0;
    int stopBits = 0;

    // "9600,N,8,1"
    QString settingsText() const;
};

// Reads a number the way the port boxes are read: the longest leading decimal
// number (optional sign, digits, one decimal point), 0 when there is none.
double leadingNumber(const QString &text);
// Whole number with halves going to the even neighbour ("1.5" gives 2, "2.5" gives 2).
int roundHalfEven(double v);

// Forms the settings from the boxes. Fails (nullopt) when the data or stop
// bits box does not hold a number, or the parity box is empty.
std::optional<PortSettings> formPortSettings(const PortBoxes &boxes);

// What a settings file yields. Lines are applied as the program reads them:
// the port and parity lines as soon as they are read, the other three only
// when all five lines were found.
struct SettingsFileContent
{
    QStringList lines;   // the complete lines found (at most five), spaces removed
    bool complete = false;
    std::optional<QString> com() const { return lines.size() >= 1 ? std::optional<QString>(lines[0]) : std::nullopt; }
    std::optional<QString> parity() const { return lines.size() >= 3 ? std::optional<QString>(lines[2]) : std::nullopt; }
    // Only when complete: line 2 unchanged, lines 4 and 5 as rounded numbers.
    QString baud() const { return lines.value(1); }
    QString dataBits() const { return QString::number(roundHalfEven(leadingNumber(lines.value(3)))); }
    QString stopBits() const { return QString::number(roundHalfEven(leadingNumber(lines.value(4)))); }
};

SettingsFileContent parseSettingsFile(const QByteArray &bytes);
QByteArray formatSettingsFile(const PortBoxes &boxes);

// <folder>/sysini.txt
QString settingsFilePath(const QString &folder);
// The settings folder of a program in exeDir: exeDir itself when it can be
// written and the program is not installed; otherwise userFolder. An installed
// program (exeDir is <prefix>/bin with <prefix>/share/applications/kestrune.desktop)
// keeps its settings per user even where it could write its folder, as root
// or under a prefix in the home folder, so nothing is ever written into bin.
QString settingsFolderFor(const QString &exeDir, const QString &userFolder);
// settingsFolderFor the executable's folder and the per-user configuration
// folder; the folder is made when it does not exist.
QString defaultSettingsFolder();

// Writes the file whole or not at all (temporary file, then rename).
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);
