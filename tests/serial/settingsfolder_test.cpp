#include "qtprint.h"
#include "serial/portsettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {
const QString kUser = QStringLiteral("/home/someone/.config/Kestrune/kestrune");

// <root>/bin, with the menu entry beside it when installed.
QString makeBin(const QTemporaryDir &root, bool installed)
{
    QDir(root.path()).mkpath(QStringLiteral("bin"));
    if (installed) {
        QDir(root.path()).mkpath(QStringLiteral("share/applications"));
        QFile f(root.filePath(QStringLiteral("share/applications/kestrune.desktop")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    }
    return root.filePath(QStringLiteral("bin"));
}
} // namespace

TEST(SettingsFolder, OwnFolderWhenWritableAndNotInstalled)
{
    QTemporaryDir root;
    const QString bin = makeBin(root, false);
    EXPECT_EQ(settingsFolderFor(bin, kUser), bin);
    // A menu entry of some other program beside it does not count.
    QDir(root.path()).mkpath(QStringLiteral("share/applications"));
    QFile other(root.filePath(QStringLiteral("share/applications/other.desktop")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    EXPECT_EQ(settingsFolderFor(bin, kUser), bin);
}

TEST(SettingsFolder, InstalledProgramKeepsSettingsPerUserEvenWhereItCouldWrite)
{
    QTemporaryDir root;
    EXPECT_EQ(settingsFolderFor(makeBin(root, true), kUser), kUser);
}

TEST(SettingsFolder, PerUserWhenTheFolderIsMissingOrUnknown)
{
    QTemporaryDir root;
    EXPECT_EQ(settingsFolderFor(root.filePath(QStringLiteral("gone")), kUser), kUser);
    EXPECT_EQ(settingsFolderFor(QString(), kUser), kUser);
}

TEST(SettingsFolder, PerUserWhenTheFolderIsReadOnly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes a read-only folder";
    QTemporaryDir root;
    const QString bin = makeBin(root, false);
    ASSERT_TRUE(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_EQ(settingsFolderFor(bin, kUser), kUser);
    QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
