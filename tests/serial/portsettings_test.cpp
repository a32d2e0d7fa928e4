#include "qtprint.h"
#include "serial/portsettings.h"
#include "serial/portresolver.h"
#include "serial/serialport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(PortSettingsForm, ReadsPortNumberParityAndRoundsHalvesToEven)
{
    PortBoxes b;
    b.com = "COM12";
    b.parity = "ENEV";
    b.stop = "1.5";
    const auto s = formPortSettings(b);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->port, 12);
    EXPECT_EQ(s->settingsText(), "9600,E,8,2");

    b.com = "COM1";
    b.stop = "2.5";
    EXPECT_EQ(formPortSettings(b)->port, 1);
    EXPECT_EQ(formPortSettings(b)->stopBits, 2);
    for (const char *noNumber : {"COM", "COMx", "COM-1", ""}) {
        b.com = noNumber;
        EXPECT_EQ(formPortSettings(b)->port, 0) << noNumber;
    }
    b.com = "COM123"; // only characters 4 and 5 count
    EXPECT_EQ(formPortSettings(b)->port, 12);

    b.data = "eight";
    EXPECT_FALSE(formPortSettings(b));
}

TEST(SettingsFile, FiveCrLfLinesWithSpacesRemoved)
{
    const auto c = parseSettingsFile("COM 12\r\n96 00\r\nENEV\r\n7\r\n1.5\r\nrest ignored");
    ASSERT_TRUE(c.complete);
    EXPECT_EQ(*c.com(), "COM12");
    EXPECT_EQ(c.baud(), "9600");
    EXPECT_EQ(*c.parity(), "ENEV");
    EXPECT_EQ(c.dataBits(), "7");
    EXPECT_EQ(c.stopBits(), "2");
}

TEST(SettingsFile, IncompleteEmptyBinaryOrHugeInputNeverCompletes)
{
    const auto missingEnd = parseSettingsFile("COM3\r\n9600\r\nODD\r\n8\r\n1");
    EXPECT_FALSE(missingEnd.complete);
    EXPECT_EQ(*missingEnd.com(), "COM3");
    EXPECT_EQ(*missingEnd.parity(), "ODD");

    EXPECT_FALSE(parseSettingsFile("").complete);
    EXPECT_FALSE(parseSettingsFile("").com());
    EXPECT_FALSE(parseSettingsFile(QByteArray("\x00\xff\xfe\x81\r", 5)).complete);
    EXPECT_FALSE(parseSettingsFile(QByteArray(4 << 20, 'A')).complete);
    const auto lf = parseSettingsFile("COM1\n9600\nNONE\n8\n1\n"); // LF alone ends no line
    EXPECT_FALSE(lf.complete);
    EXPECT_FALSE(lf.com());
    // Numbers read from the start of the line; none gives 0.
    EXPECT_EQ(parseSettingsFile("a\r\nb\r\nc\r\nxyz\r\n8bits\r\n").dataBits(), "0");
    EXPECT_EQ(parseSettingsFile("a\r\nb\r\nc\r\nxyz\r\n8bits\r\n").stopBits(), "8");
}

TEST(SettingsFile, WrittenWholeInsideTheFolder)
{
    QTemporaryDir dir;
    const QString path = settingsFilePath(dir.path());
    EXPECT_EQ(path, QDir(dir.path()).filePath("sysini.txt"));
    PortBoxes b;
    ASSERT_TRUE(writeFileAtomically(path, formatSettingsFile(b)));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("COM1\r\n9600\r\nNONE\r\n8\r\n1\r\n"));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"sysini.txt"});
    // A folder that cannot hold the file fails without a partial file.
    EXPECT_FALSE(writeFileAtomically(dir.filePath("missing/sysini.txt"), "x"));
}

TEST(LineSettings, RejectsWhatNoPortCanApply)
{
    LineSettings s;
    EXPECT_TRUE(parseLineSettings("9600,N,8,1", &s));
    EXPECT_EQ(s.baud, 9600);
    EXPECT_TRUE(parseLineSettings("128000,M,5,2", &s));
    EXPECT_EQ(s.parity, 'M');
    for (const char *bad : {"", "9600,N,8", "abc,N,8,1", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "0,N,8,1"})
        EXPECT_FALSE(parseLineSettings(bad, nullptr)) << bad;
}

TEST(PortResolver, LinkInSettingsFolderFirstThenUsbAdaptersFirst)
{
    EXPECT_EQ(PortResolver::orderSystemPorts({"ttyS10", "ttyS2", "ttyUSB1", "ttyACM0", "ttyUSB0", "ttyAMA0"}),
              (QStringList{"ttyACM0", "ttyUSB0", "ttyUSB1", "ttyAMA0", "ttyS2", "ttyS10"}));
    QTemporaryDir dir;
    PortResolver r(dir.path(), false);
    EXPECT_TRUE(r.resolve(1).isEmpty());
    EXPECT_TRUE(r.resolve(0).isEmpty());
    QDir(dir.path()).mkpath("ports");
    ASSERT_TRUE(QFile::link("/dev/null", dir.filePath("ports/COM3")));
    EXPECT_EQ(r.resolve(3), dir.filePath("ports/COM3"));
    EXPECT_TRUE(r.describe(3).contains("/dev/null"));
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere"), dir.filePath("ports/COM4")));
    EXPECT_TRUE(r.resolve(4).isEmpty()); // a dangling link is no device
}
