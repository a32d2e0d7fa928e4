#include "relayfixture.h"
#include "controls.h"

#include "serial/portsettings.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

namespace {
QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
const QString kNotFound = QStringLiteral("没有发现此串口或被占用");
const QString kRetry = QStringLiteral("没有成功，请重试");
} // namespace

using StartUp = RelayFixture;

TEST_F(StartUp, WithoutSettingsFileWarnsThenSecondAttemptOpensPortOneAndEventsStillWork)
{
    start();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, kNotFound);
    EXPECT_EQ(dialogs.messages[0].title, "KestruneV1.0");
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    // The second attempt opened port 1 with the port's initial settings...
    EXPECT_TRUE(port->portOpen());
    EXPECT_EQ(port->openedSettings.last(), "9600,N,8,1");
    // ...while the display still shows the closed state.
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->text(), "STATUS：COM1  Cloced");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch"))->text(), "打开串口");
    // Thresholds were set when the port was made, so events are raised.
    EXPECT_EQ(port->rThreshold(), 1);
    EXPECT_EQ(port->sThreshold(), 1);
    EXPECT_EQ(port->inputMode(), SerialPort::InputModeBinary);
    EXPECT_TRUE(control<QLabel>(w.get(), QStringLiteral("LblWeb"))->font().underline());
    EXPECT_TRUE(port->writes.isEmpty());
}

TEST_F(StartUp, NeitherAttemptOpensLeavesLinkPlainAndInputModeText)
{
    writeSettings("COM9\r\n9600\r\nNONE\r\n8\r\n1\r\n");
    start(false);
    port->existingPorts = {};
    w->Form_Load();
    EXPECT_EQ(dialogs.texts(), QStringList{kNotFound});
    EXPECT_FALSE(port->portOpen());
    EXPECT_FALSE(control<QLabel>(w.get(), QStringLiteral("LblWeb"))->font().underline());
    EXPECT_EQ(port->inputMode(), SerialPort::InputModeText);
}

TEST_F(StartUp, RestoresBoxesFromFileAndOpensWithoutWritingToThePort)
{
    writeSettings("COM 3\r\n19 200\r\nENEV\r\n7\r\n1.5\r\n");
    start();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboCom"))->currentText(), "COM3");
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboBaudrate"))->currentText(), "19200");
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboParitybit"))->currentText(), "ENEV");
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboDatabit"))->currentText(), "7");
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboStopbit"))->currentText(), "2");
    EXPECT_EQ(port->openedPorts, QList<int>{3});
    EXPECT_EQ(port->openedSettings.last(), "19200,E,7,2");
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->text(), "STATUS：COM3 OPEND，19200,E,7,2");
    EXPECT_TRUE(control<QLabel>(w.get(), QStringLiteral("ImgSwitchOn"))->isVisibleTo(w.get()));
    EXPECT_FALSE(control<QLabel>(w.get(), QStringLiteral("ImgSwitchOff"))->isVisibleTo(w.get()));
    EXPECT_TRUE(port->writes.isEmpty());
}

TEST_F(StartUp, FifthLineWithoutLineEndAppliesOnlyPortAndParity)
{
    writeSettings("COM2\r\n4800\r\nODD\r\n7\r\n2");
    start(false);
    port->existingPorts = {};
    w->Form_Load();
    EXPECT_EQ(dialogs.texts(), QStringList{kNotFound});
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboCom"))->currentText(), "COM2");
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboParitybit"))->currentText(), "ODD");
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboBaudrate"))->currentText(), "9600");
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboDatabit"))->currentText(), "8");
    EXPECT_EQ(control<QComboBox>(w.get(), QStringLiteral("CboStopbit"))->currentText(), "1");
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->text(), "STATUS：COM2  Cloced");
}

TEST_F(StartUp, BinaryOrHugeSettingsFileNeverCrashes)
{
    writeSettings(QByteArray(3 << 20, '\xff'));
    start();
    EXPECT_EQ(dialogs.texts(), QStringList{kNotFound});
}

using PortGroup = RelayFixture;

TEST_F(PortGroup, SwitchClosesThenReopensTwiceWritesFileAndGreets)
{
    writeSettings("COM1\r\n9600\r\nNONE\r\n8\r\n1\r\n");
    start();
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton);
    EXPECT_FALSE(port->portOpen());
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->text(), "STATUS：COM1  Cloced");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch"))->text(), "打开串口");

    control<QComboBox>(w.get(), QStringLiteral("CboStopbit"))->setEditText("1.5");
    const int opensBefore = port->openCount;
    const qint64 t0 = port->elapsedMs();
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton);
    EXPECT_EQ(port->openCount - opensBefore, 2); // opened, closed and opened again
    EXPECT_EQ(port->openedSettings.last(), "9600,N,8,2");
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->text(), "STATUS：COM1 OPEND，9600,N,8,1.5");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch"))->text(), "关闭串口");
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, QByteArray("\xAA\xB3\xF5"));
    EXPECT_GE(port->writes[0].ms - t0, 1000);
    EXPECT_FALSE(control<QLabel>(w.get(), QStringLiteral("arrowlabel"))->isVisibleTo(w.get()));
    EXPECT_EQ(readFile(settingsFilePath(dir.path())), QByteArray("COM1\r\n9600\r\nNONE\r\n8\r\n1.5\r\n"));
}

TEST_F(PortGroup, PickingAMissingPortWarnsOnceWritesFileAndSendsNoGreeting)
{
    start();
    dialogs.messages.clear();
    control<QComboBox>(w.get(), QStringLiteral("CboCom"))->setCurrentIndex(11); // COM12 does not exist
    w->portGroup()->CboCom_Click();
    EXPECT_EQ(dialogs.texts(), QStringList{kRetry});
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->text(), "STATUS：COM12  Cloced");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch"))->text(), "打开串口");
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_EQ(readFile(settingsFilePath(dir.path())), QByteArray("COM12\r\n9600\r\nNONE\r\n8\r\n1\r\n"));
}

TEST_F(PortGroup, SwitchOnAMissingPortWarnsTwiceAndEndsClosed)
{
    start();
    w->portGroup()->ClosePort();
    dialogs.messages.clear();
    port->existingPorts = {};
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton);
    EXPECT_EQ(dialogs.texts(), (QStringList{kRetry, kRetry}));
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->text(), "STATUS：COM1  Cloced");
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_TRUE(QFile::exists(settingsFilePath(dir.path())));
}

TEST_F(PortGroup, HandTypedPortWithoutNumberFailsLikeAMissingPort)
{
    start();
    dialogs.messages.clear();
    control<QComboBox>(w.get(), QStringLiteral("CboCom"))->setEditText("COM-1");
    w->portGroup()->CboCom_Click();
    EXPECT_EQ(dialogs.texts(), QStringList{kRetry});
    EXPECT_FALSE(port->portOpen());
}

TEST_F(PortGroup, LostPortShowsClosedDisplay)
{
    writeSettings("COM1\r\n9600\r\nNONE\r\n8\r\n1\r\n");
    start();
    port->lose();
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->text(), "STATUS：COM1  Cloced");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch"))->text(), "打开串口");
}

using Quit = RelayFixture;

TEST_F(Quit, QuitWhileAHandlerWaitsInSleep2ClosesPortAndUnwinds)
{
    writeSettings("COM1\r\n9600\r\nNONE\r\n8\r\n1\r\n");
    start();
    w->portGroup()->ClosePort();
    QTimer::singleShot(200, w.get(), [this] { w->CmdQuit_Click(); });
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton); // waits in the greeting
    EXPECT_EQ(quitCalls, 1);
    EXPECT_FALSE(port->portOpen());
    EXPECT_TRUE(port->writes.isEmpty()); // the greeting never went out
    EXPECT_TRUE(w->isQuitting());
}

TEST_F(Quit, QuitWhileAMessageBoxIsOpenEndsCleanly)
{
    start(false);
    port->existingPorts = {};
    dialogs.onMessage = [this](const ScriptedDialogs::Message &) { w->CmdQuit_Click(); };
    w->Form_Load();
    EXPECT_EQ(quitCalls, 1);
    EXPECT_FALSE(port->portOpen());
    w.reset(); // destroying the window afterwards is safe
}

TEST_F(Quit, ClosingTheWindowQuits)
{
    start();
    w->show();
    w->close();
    EXPECT_EQ(quitCalls, 1);
    EXPECT_FALSE(port->portOpen());
}

TEST_F(Quit, ClockShowsDateAndTimeAfterFirstTick)
{
    start(false);
    EXPECT_EQ(control<QLabel>(w.get(), QStringLiteral("LblNowTime"))->text(), "当前时间");
    QTest::qWait(120);
    EXPECT_NE(control<QLabel>(w.get(), QStringLiteral("LblNowTime"))->text(), "当前时间");
    EXPECT_NE(control<QLabel>(w.get(), QStringLiteral("LblNewDate"))->text(), "显示日前");
}

TEST_F(Quit, VisibleControlsCarryTheirNamesCaptionsAndPlaces)
{
    start();
    auto button = [&](const char *name) { return control<QPushButton>(w.get(), name); };
    ASSERT_TRUE(button("sdevice"));
    EXPECT_EQ(button("sdevice")->text(), "搜索设备");
    EXPECT_EQ(button("sdevice")->geometry(), QRect(8, 328, 105, 33));
    EXPECT_EQ(button("CmdQuit")->geometry(), QRect(16, 560, 81, 33));
    EXPECT_EQ(button("writefirst")->font().pointSizeF(), 15.0);
    EXPECT_EQ(control<QComboBox>(w.get(), "CboCom")->count(), 15);
    EXPECT_EQ(control<QComboBox>(w.get(), "Combo1")->currentText(), "33");
    EXPECT_EQ(control<QLabel>(w.get(), "LblWeb")->x(), 1288);
    EXPECT_GE(control<QLabel>(w.get(), "arrowlabel")->x(), 1224);
    // The client area as it opens: 1207 x 684 of the content above the
    // horizontal bar that reaches the terminal.
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    auto *area = control<QScrollArea>(w.get(), "ContentScroll");
    ASSERT_TRUE(area);
    EXPECT_EQ(area->viewport()->size(), QSize(1207, 684));
    EXPECT_FALSE(area->verticalScrollBar()->isVisibleTo(w.get()));
    EXPECT_EQ(w->width(), 1207);
    EXPECT_EQ(w->windowTitle(), "Kestrune");
}
