// The status line, the open errors and the bus monitor in the window, on the fake port.
#include "controls.h"
#include "relayfixture.h"

#include "diag/answercheck.h"
#include "diag/busframemodel.h"
#include "diag/diagnosticspanel.h"
#include "protocol/frames.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {

class DiagWindow : public RelayFixture
{
protected:
    QLineEdit *line() { return control<QLineEdit>(w.get(), QStringLiteral("TxtBusCheck")); }
};

} // namespace

TEST_F(DiagWindow, TheLineSitsRightOfTheCounterButtonAndNothingMoved)
{
    startOpen();
    const QRect counter = control<QPushButton>(w.get(), QStringLiteral("CmdClearCounter"))->geometry();
    EXPECT_EQ(counter, QRect(560, 656, 58, 20));
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->geometry(), QRect(288, 656, 111, 18));
    EXPECT_GT(line()->geometry().left(), counter.right());
    const QRect button = control<QPushButton>(w.get(), QStringLiteral("CmdBusMonitor"))->geometry();
    EXPECT_GT(button.left(), line()->geometry().right());
    EXPECT_LE(button.right(), 1207);
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdBusMonitor"))->text(), QStringLiteral("总线监视"));
}

TEST_F(DiagWindow, AnOpeningWithoutPermissionNamesTheReasonBesideTheUnchangedMessage)
{
    startOpen();
    dialogs.messages.clear();
    port->failOpen = true;
    port->failReason = QStringLiteral("Permission denied");
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton); // close
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton); // open fails
    ASSERT_FALSE(dialogs.messages.isEmpty());
    EXPECT_EQ(dialogs.messages.first().text, QStringLiteral("没有成功，请重试"));
    const QString tip = control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->toolTip();
    EXPECT_TRUE(tip.contains(QStringLiteral("dialout"))) << tip.toStdString();
    EXPECT_TRUE(line()->text().contains(QStringLiteral("dialout")));
    EXPECT_TRUE(line()->text().contains(QStringLiteral("Permission denied")));

    // A port held by another program is busy, not a missing right.
    port->failReason = QStringLiteral("Permission error while locking the device");
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton);
    EXPECT_TRUE(line()->text().contains(QStringLiteral("其他程序占用"))) << line()->text().toStdString();

    // A good opening takes the reason out of the tooltip again.
    port->failOpen = false;
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSwitch")), Qt::LeftButton);
    ASSERT_TRUE(port->portOpen());
    EXPECT_FALSE(control<QLineEdit>(w.get(), QStringLiteral("TxtStatus"))->toolTip().contains(QStringLiteral("dialout")));
}

TEST_F(DiagWindow, ASearchAndItsAnswerAreRowsOfTheMonitorAndTheLineCountsThem)
{
    startOpen();
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QString());
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("sdevice")), Qt::LeftButton);
    port->receive(frames::closeFrame(QByteArray::fromHex("00340021")));
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_F12);
    ASSERT_NE(w->diagnostics()->monitor(), nullptr);
    QTableView *grid = control<QTableView>(w->diagnostics()->monitor(), QStringLiteral("GridFrames"));
    ASSERT_TRUE(grid->isVisible());
    QAbstractItemModel *m = grid->model();
    QTRY_COMPARE(m->rowCount(), 2);
    EXPECT_EQ(m->index(0, BusFrameModel::Direction).data().toString(), QStringLiteral("发送"));
    EXPECT_EQ(m->index(0, BusFrameModel::Meaning).data().toString(), QStringLiteral("搜索地址（广播）"));
    EXPECT_EQ(m->index(1, BusFrameModel::Meaning).data().toString(), QStringLiteral("搜索应答 地址33"));
    EXPECT_EQ(m->index(1, BusFrameModel::Crc).data().toString(), QStringLiteral("正确"));
    EXPECT_TRUE(line()->text().startsWith(QStringLiteral("应答1 无应答0 校验错误0")));
    // The reply parser still found the address, as it always did.
    QTRY_COMPARE(control<QComboBox>(w.get(), QStringLiteral("Combo1"))->currentText(), QStringLiteral("33"));

    // Saved whole as CSV through the file dialog.
    const QString path = dir.filePath(QStringLiteral("bus.csv"));
    dialogs.fileAnswers << path;
    QTest::mouseClick(control<QPushButton>(w->diagnostics()->monitor(), QStringLiteral("CmdMonitorSave")), Qt::LeftButton);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 3);
}

TEST_F(DiagWindow, AReadToASilentBoardIsSaidOnTheLine)
{
    startOpen();
    w->diagnostics()->check()->client()->setTimeoutMs(50);
    control<QComboBox>(w.get(), QStringLiteral("Combo1"))->setEditText(QStringLiteral("33"));
    w->session()->send(frames::ReadRelaysFrame(33));
    QTRY_VERIFY(line()->text().contains(QStringLiteral("地址33无应答（读继电器）")));
}
