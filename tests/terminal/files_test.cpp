// The terminal's file commands on the main window: choosing, saving, sending a file.
#include "relayfixture.h"
#include "controls.h"

#include "terminal/gbk.h"
#include "terminal/sendbox.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
const QString kPortNotOpen = QStringLiteral("串口没有打开，请打开串口");
const QString kSaved = QStringLiteral("文件保存成功！");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class TerminalFiles : public RelayFixture
{
protected:
    QString file(const char *name) const { return dir.filePath(QLatin1String(name)); }
};

TEST_F(TerminalFiles, PathBoxesStartWithTheirTwoLinePrompts)
{
    startOpen();
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText(), "请打开批量闪灯数\n据路径及文件名\n");
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSavePath"))->toPlainText(), "请选择保存闪灯数\n据路径及文件名\n");
    EXPECT_FALSE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->isReadOnly());
    EXPECT_FALSE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSavePath"))->isReadOnly());
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSelectFile"))->text(), "批量选择闪灯数据");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile"))->text(), "批量发送闪灯数据");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp"))->text(), "保存闪灯数据");
}

TEST_F(TerminalFiles, SavingTwiceAppendsTwoBlocksOf192Bytes)
{
    startOpen();
    const QString path = file("lamps.txt");
    dialogs.fileAnswers = {path, path};
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp")), Qt::LeftButton);
    const QByteArray bytes = readAll(path);
    ASSERT_EQ(bytes.size(), 384);
    EXPECT_EQ(bytes.left(192), bytes.mid(192));
    EXPECT_EQ(bytes.left(192), gbk::encode(w->sendPane()->SendBoxText()) + "\r\n\r\n");
    EXPECT_EQ(dialogs.texts(), (QStringList{kSaved, kSaved}));
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    EXPECT_EQ(dialogs.messages[0].title, "KestruneV1.0");
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSavePath"))->toPlainText(), path);

    const Dialogs::FileRequest &r = dialogs.fileRequests[0];
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.title, "保存文件");
    EXPECT_EQ(r.filter, "txt文件|*.txt");
    EXPECT_EQ(r.filterIndex, 1);
    EXPECT_EQ(r.initDir, "d:\\");
    EXPECT_FALSE(r.confirmOverwrite);
    // The name is cleared after each save.
    EXPECT_TRUE(dialogs.fileRequests[1].fileName.isEmpty());
    EXPECT_TRUE(w->commonDialog().FileName.isEmpty());
}

TEST_F(TerminalFiles, SavingAnEmptyBoxAppendsOneEmptyLinePair)
{
    startOpen();
    const QString path = file("old.txt");
    writeAll(path, "old");
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdClearSend")), Qt::LeftButton);
    dialogs.fileAnswers = {path};
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp")), Qt::LeftButton);
    EXPECT_EQ(readAll(path), QByteArray("old\r\n\r\n"));
}

TEST_F(TerminalFiles, CancelledOrFailedSaveWritesNothingAndSaysNothing)
{
    startOpen();
    // A file was chosen for sending: the dialog still holds its name when
    // the save dialog is cancelled, and that file must stay untouched.
    const QString chosen = file("data.txt");
    writeAll(chosen, "0102");
    dialogs.fileAnswers = {chosen, std::nullopt};
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSelectFile")), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp")), Qt::LeftButton);
    EXPECT_EQ(readAll(chosen), QByteArray("0102"));
    EXPECT_TRUE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSavePath"))->toPlainText().isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A path whose folder does not exist: no success message, the name stays shown.
    const QString bad = file("missing/dir/x.txt");
    dialogs.fileAnswers = {bad};
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp")), Qt::LeftButton);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSavePath"))->toPlainText(), bad);
    EXPECT_FALSE(QFile::exists(bad));
    // A name of spaces only counts as none.
    dialogs.fileAnswers = {QStringLiteral("   ")};
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp")), Qt::LeftButton);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(TerminalFiles, DialogStateCarriesBetweenSelectAndSave)
{
    startOpen();
    // First use: no title, the start-up filter, a cancelled dialog leaves the name empty.
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSelectFile")), Qt::LeftButton);
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_FALSE(dialogs.fileRequests[0].save);
    EXPECT_TRUE(dialogs.fileRequests[0].title.isEmpty());
    EXPECT_EQ(dialogs.fileRequests[0].filter, "文本文件（*.txt）|*.txt");
    EXPECT_EQ(w->commonDialog().Flags, 3);
    EXPECT_TRUE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText().isEmpty());

    const QString a = file("a.txt");
    dialogs.fileAnswers = {a};
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSelectFile")), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText(), a);
    // Cancelled again: the box shows the name the dialog still holds.
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSelectFile")), Qt::LeftButton);
    EXPECT_EQ(dialogs.fileRequests[2].fileName, a);
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText(), a);

    // After a save, choosing a file sees the save's title, filter and folder.
    dialogs.fileAnswers = {file("s.txt")};
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp")), Qt::LeftButton);
    EXPECT_EQ(dialogs.fileRequests[3].fileName, a);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSelectFile")), Qt::LeftButton);
    const Dialogs::FileRequest &r = dialogs.fileRequests[4];
    EXPECT_EQ(r.title, "保存文件");
    EXPECT_EQ(r.filter, "txt文件|*.txt");
    EXPECT_EQ(r.initDir, "d:\\");
    EXPECT_TRUE(r.fileName.isEmpty());
    EXPECT_TRUE(r.confirmOverwrite);
    EXPECT_TRUE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText().isEmpty());
    // Choosing sends nothing and arms nothing.
    EXPECT_TRUE(port->writes.isEmpty());
}

TEST_F(TerminalFiles, SendFileWithThePortClosedOnlyWarns)
{
    startOpen();
    const QString path = file("d.txt");
    writeAll(path, "abc");
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->setPlainText(path);
    port->setPortOpen(false);
    port->setInputMode(SerialPort::InputModeText);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    EXPECT_EQ(dialogs.texts(), QStringList{kPortNotOpen});
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    EXPECT_EQ(port->inputMode(), SerialPort::InputModeText);
    EXPECT_TRUE(port->writes.isEmpty());
}

TEST_F(TerminalFiles, SendFileArmsAndSendsTheRawBytesCountedOnce)
{
    startOpen();
    const QByteArray content = gbk::encode(QStringLiteral("孔雀\r\nS:300\r\n")) + QByteArray("\x00\xff", 2);
    const QString path = file("raw.txt");
    writeAll(path, content);
    // Typed by hand, with a stray line end after it.
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->setPlainText(path + QStringLiteral("\n"));
    port->setInputMode(SerialPort::InputModeText);
    const QString before = control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->toPlainText();
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(port->inputMode(), SerialPort::InputModeBinary); // the hex display box is ticked
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, content);
    EXPECT_EQ(w->counters()->TxTotal(), content.size());
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->toPlainText(), before);
    // Send events after arming add nothing either.
    port->sendEvent();
    EXPECT_EQ(w->counters()->TxTotal(), content.size());
}

TEST_F(TerminalFiles, HexFileSendsItsDigitPairsAndWarnsAtTheFirstOtherCharacter)
{
    startOpen();
    control<QCheckBox>(w.get(), QStringLiteral("ChkHexSend"))->setChecked(true);
    const QString path = file("hex.txt");
    writeAll(path, "01 02\r\nff 0a\r\n");
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->setPlainText(path);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    ASSERT_EQ(port->writes.size(), 1);
    EXPECT_EQ(port->writes[0].bytes, QByteArray::fromHex("0102ff0a"));

    writeAll(path, "AA BB\r\nS:300\r\nCC");
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QLatin1String("8"))) << dialogs.messages[0].text.toStdString();
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[1].bytes, QByteArray::fromHex("aabb"));
    EXPECT_EQ(w->counters()->TxTotal(), 6);
}

TEST_F(TerminalFiles, MissingOrUnreadableFileWarnsAndSendsNothing)
{
    startOpen();
    // The prompt text itself names no file.
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->setPlainText(file("nothere.txt"));
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->setPlainText(dir.path());
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 3);
    for (const auto &m : dialogs.messages) {
        EXPECT_EQ(m.icon, Dialogs::Warning);
        EXPECT_TRUE(m.text.startsWith(QStringLiteral("无法读取"))) << m.text.toStdString();
    }
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("nothere.txt")));
    EXPECT_TRUE(port->writes.isEmpty());
}

TEST_F(TerminalFiles, LargeFileGoesOutInPiecesWithProgressWhileTheWindowStaysLive)
{
    startOpen();
    QByteArray content(8000, 0);
    for (int i = 0; i < content.size(); ++i)
        content[i] = char(i % 251);
    const QString path = file("big.bin");
    writeAll(path, content);
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->setPlainText(path);

    bool tickDuringSend = false;
    QStringList captions;
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (w->fileCommands()->fileSending()) {
            tickDuringSend = true;
            captions << control<QPushButton>(w.get(), QStringLiteral("CmdSendFile"))->text();
        }
    });
    probe.start();
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    EXPECT_TRUE(w->fileCommands()->fileSending());
    EXPECT_TRUE(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile"))->text().startsWith(QStringLiteral("停止发送")));
    EXPECT_LE(port->writes.size(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->fileCommands()->fileSending(); }, 10000));
    EXPECT_TRUE(tickDuringSend);
    EXPECT_EQ(port->allWritten(), content);
    EXPECT_GT(port->writes.size(), 8);
    EXPECT_EQ(w->counters()->TxTotal(), content.size());
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile"))->text(), "批量发送闪灯数据");
    EXPECT_TRUE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toolTip().isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    ASSERT_FALSE(captions.isEmpty());
    EXPECT_TRUE(captions.last().endsWith(QLatin1Char('%')));
}

TEST_F(TerminalFiles, TheSameButtonCancelsALargeSendAndALostPortEndsIt)
{
    startOpen();
    const QString path = file("big.bin");
    writeAll(path, QByteArray(200000, 'x'));
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->setPlainText(path);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    ASSERT_TRUE(w->fileCommands()->fileSending());
    QTest::qWait(5);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    EXPECT_FALSE(w->fileCommands()->fileSending());
    const qint64 sent = port->allWritten().size();
    EXPECT_LT(sent, 200000);
    QTest::qWait(30);
    EXPECT_EQ(port->allWritten().size(), sent);
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile"))->text(), "批量发送闪灯数据");
    EXPECT_TRUE(dialogs.messages.isEmpty());

    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile")), Qt::LeftButton);
    ASSERT_TRUE(w->fileCommands()->fileSending());
    port->lose();
    EXPECT_FALSE(w->fileCommands()->fileSending());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile"))->text(), "批量发送闪灯数据");
}
