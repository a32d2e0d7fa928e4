// Terminal file formats and the paced file sender, without widgets.
#include "qtprint.h"
#include "fakeserialport.h"
#include "pty.h"

#include "serial/portresolver.h"
#include "serial/qtserialport.h"

#include "terminal/filesender.h"
#include "terminal/sendbox.h"
#include "terminal/terminalfiles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace terminalfiles;

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

TEST(SaveBlock, BoxTextThenTwoLineEnds)
{
    const QString initial = sendbox::boxText(sendbox::initialPlainText());
    const QByteArray b = saveBlock(initial);
    EXPECT_EQ(b.size(), 188 + 2 + 2);
    EXPECT_TRUE(b.endsWith("E\r\n\r\n\r\n"));
    EXPECT_EQ(saveBlock(QString()), QByteArray("\r\n\r\n"));
}

TEST(SaveBlock, AppendsToExistingFileCreatesMissingOneAndFailsWithoutTouchingIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lamps.txt"));
    ASSERT_TRUE(appendSaveBlock(path, QStringLiteral("S:1\r\n")));
    ASSERT_TRUE(appendSaveBlock(path, QString()));
    EXPECT_EQ(readAll(path), QByteArray("S:1\r\n\r\n\r\n\r\n\r\n"));

    // A folder in place of the file, or a missing folder: nothing written, failure reported.
    QString error;
    EXPECT_FALSE(appendSaveBlock(dir.path(), QStringLiteral("x"), &error));
    EXPECT_FALSE(appendSaveBlock(dir.filePath(QStringLiteral("no/such/file.txt")), QStringLiteral("x")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("no"))));
    // A file that cannot be read is not replaced by one holding only the new block.
    const QString locked = dir.filePath(QStringLiteral("locked.txt"));
    ASSERT_TRUE(appendSaveBlock(locked, QStringLiteral("keep")));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    if (!QFile(locked).open(QIODevice::ReadOnly)) { // root reads anything
        EXPECT_FALSE(appendSaveBlock(locked, QStringLiteral("x")));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_EQ(readAll(locked), QByteArray("keep\r\n\r\n"));
    }
}

TEST(HexText, PairsAcrossSpacesAndLinesUntilTheFirstOtherCharacter)
{
    HexText h = parseHexText("01 02\r\nfF\t0a\n");
    EXPECT_EQ(h.bytes, QByteArray::fromHex("0102ff0a"));
    EXPECT_FALSE(h.stopped);
    EXPECT_FALSE(h.oddDigit);

    h = parseHexText("0102 zz 03");
    EXPECT_EQ(h.bytes, QByteArray::fromHex("0102"));
    EXPECT_TRUE(h.stopped);
    EXPECT_EQ(h.stopOffset, 5);

    h = parseHexText("01 0");
    EXPECT_EQ(h.bytes, QByteArray::fromHex("01"));
    EXPECT_TRUE(h.oddDigit);

    h = parseHexText("\xEF\xBB\xBF" "0A0B");
    EXPECT_EQ(h.bytes, QByteArray::fromHex("0a0b"));
    EXPECT_FALSE(h.stopped);

    h = parseHexText("孔雀");
    EXPECT_TRUE(h.bytes.isEmpty());
    EXPECT_TRUE(h.stopped);
    EXPECT_EQ(h.stopOffset, 0);
}

TEST(HexText, LineSpeed)
{
    EXPECT_EQ(bytesPerSecond(QStringLiteral("9600,N,8,1")), 960);
    EXPECT_EQ(bytesPerSecond(QStringLiteral("9600,E,8,1")), 872);
    EXPECT_EQ(bytesPerSecond(QStringLiteral("115200,N,8,2")), 10472);
    EXPECT_EQ(bytesPerSecond(QStringLiteral("bad")), 0);
}

class FileSenderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        port.setSettings(QStringLiteral("9600,N,8,1"));
        port.setCommPort(1);
        ASSERT_TRUE(port.setPortOpen(true));
    }
    static QByteArray pattern(int n)
    {
        QByteArray b(n, 0);
        for (int i = 0; i < n; ++i)
            b[i] = char(i * 7 + 3);
        return b;
    }
    FakeSerialPort port;
    FileSender sender{&port};
};

TEST_F(FileSenderTest, UpToOneSecondGoesOutWithOneWrite)
{
    QSignalSpy done(&sender, &FileSender::finished);
    ASSERT_TRUE(sender.start(pattern(960)));
    EXPECT_FALSE(sender.running());
    ASSERT_EQ(port.writes.size(), 1);
    EXPECT_EQ(port.writes[0].bytes, pattern(960));
    QTest::qWait(20);
    EXPECT_EQ(port.writes.size(), 1);
}

TEST_F(FileSenderTest, LongerDataGoesOutInPiecesFromTheEventLoop)
{
    QSignalSpy done(&sender, &FileSender::finished);
    const QByteArray data = pattern(5000);
    ASSERT_TRUE(sender.start(data));
    EXPECT_TRUE(sender.running());
    // Never more than two pieces before the event loop ran.
    EXPECT_LE(port.writes.size(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !done.isEmpty(); }, 5000));
    EXPECT_EQ(done.first().first().value<FileSender::Result>(), FileSender::Completed);
    EXPECT_EQ(port.allWritten(), data);
    EXPECT_GT(port.writes.size(), 10);
    for (const auto &w : port.writes)
        EXPECT_LE(w.bytes.size(), sender.pieceSize());
    EXPECT_EQ(sender.done(), 5000);
}

TEST_F(FileSenderTest, CancelStopsBetweenPiecesAndAClosedPortFails)
{
    QSignalSpy done(&sender, &FileSender::finished);
    ASSERT_TRUE(sender.start(pattern(100000)));
    sender.cancel();
    const int written = port.writes.size();
    QTest::qWait(50);
    EXPECT_EQ(port.writes.size(), written);
    ASSERT_EQ(done.size(), 1);
    EXPECT_EQ(done.first().first().value<FileSender::Result>(), FileSender::Cancelled);

    ASSERT_TRUE(sender.start(pattern(100000)));
    port.setPortOpen(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.size() == 2; }, 2000));
    EXPECT_EQ(done.last().first().value<FileSender::Result>(), FileSender::PortFailed);
    EXPECT_FALSE(sender.running());
}

TEST(FileSenderOnPty, WaitsForTheLineToDrainAndDeliversEverythingInOrder)
{
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    QTemporaryDir dir;
    pty.linkAs(dir.path(), 1);
    QtSerialPort port(std::make_shared<PortResolver>(dir.path(), false));
    port.setCommPort(1);
    port.setSThreshold(1);
    ASSERT_TRUE(port.setSettings(QStringLiteral("9600,N,8,1")));
    ASSERT_TRUE(port.setPortOpen(true)) << port.errorString().toStdString();
    FileSender sender(&port);
    QSignalSpy done(&sender, &FileSender::finished);

    QByteArray data(64 * 1024, 0);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 13) & 0x7f); // no bytes the line discipline would act on
    ASSERT_TRUE(sender.start(data));
    // Nobody reads the other end: the line fills up and the sender waits
    // instead of piling the whole file into the port.
    QTest::qWait(300);
    EXPECT_TRUE(sender.running());
    EXPECT_LT(sender.done(), data.size());
    const QByteArray got = pty.readFor(data.size(), 20000);
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !done.isEmpty(); }, 5000));
    EXPECT_EQ(done.first().first().value<FileSender::Result>(), FileSender::Completed);
}
