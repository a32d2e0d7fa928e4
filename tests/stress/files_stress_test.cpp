// A settings file and a names file written by a process that is killed at
// random moments: the file is always the old content or the new, whole.
#include "stresskit.h"
#include "stresswriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

#include <signal.h>
#include <unistd.h>

class FileStress : public ::testing::TestWithParam<const char *>
{
};

TEST_P(FileStress, KilledMidWriteLeavesTheOldOrTheNewFileWhole)
{
    const QString kind = QString::fromLatin1(GetParam());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(kind == QLatin1String("settings") ? QStringLiteral("sysini.txt")
                                                                          : QStringLiteral("names.txt"));
    const QByteArray first = stresswriter::content(kind, false), second = stresswriter::content(kind, true);
    ASSERT_NE(first, second);
    ASSERT_TRUE(stresswriter::write(kind, path, false));

    std::mt19937 rng{std::random_device{}()};
    int sawSecond = 0;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        QProcess writer;
        writer.start(QStringLiteral(KESTRUNE_STRESS_WRITER), {kind, path});
        ASSERT_TRUE(writer.waitForStarted(10000));
        ASSERT_TRUE(writer.waitForReadyRead(20000)) << "the writer never wrote";
        // A random moment within the next few writes.
        ::usleep(useconds_t(rng() % 3000));
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitForFinished(20000));
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit);

        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray now = f.readAll();
        ASSERT_TRUE(now == first || now == second) << "cut or empty file of " << now.size() << " bytes";
        sawSecond += now == second;
    }
    // Both contents were left behind at some kill, so kills landed between writes.
    EXPECT_GT(sawSecond, 0);
    EXPECT_LT(sawSecond, 200);
}

INSTANTIATE_TEST_SUITE_P(FileStress, FileStress, ::testing::Values("settings", "names"),
                         [](const ::testing::TestParamInfo<const char *> &i) { return std::string(i.param); });
