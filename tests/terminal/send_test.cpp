// The send box on the main window: typing through real key events, sending,
// the TX counter and periodic sending.
#include "relayfixture.h"
#include "controls.h"

#include "terminal/gbk.h"
#include "protocol/frames.h"
#include "terminal/sendbox.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

namespace {
const QString kPortNotOpen = QStringLiteral("串口没有打开，请打开串口");
const QString kTooLong = QStringLiteral("长度足够，不能再输入！");
} // namespace

class SendBox : public RelayFixture
{
protected:
    // Puts the caret on the given 1-based line after `col - 1` characters.
    void caret(int line, int col)
    {
        QTextCursor c(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->document()->findBlockByNumber(line - 1));
        c.setPosition(c.block().position() + col - 1);
        control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->setTextCursor(c);
    }
    QString line(int n) const { return control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->document()->findBlockByNumber(n - 1).text(); }
    void setBox(const QString &plain) { control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->setPlainText(plain); }
};

TEST_F(SendBox, StartsWithTheLampPatternInItsFontAndTheControlsInThePark)
{
    startOpen();
    EXPECT_EQ(gbk::encode(w->sendPane()->SendBoxText()).size(), 188);
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->font().pointSizeF(), 18.0);
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->font().family(), "SimSun");
    EXPECT_EQ(line(1), "孔雀开屏");
    EXPECT_EQ(line(24), "E");
    EXPECT_EQ(control<QLabel>(w.get(), QStringLiteral("LblSend"))->text(), "发送的字符/数据");
    EXPECT_EQ(control<QLabel>(w.get(), QStringLiteral("Label11"))->text(), "十六进制发送");
    EXPECT_EQ(control<QLabel>(w.get(), QStringLiteral("LblAutoSend"))->text(), "自动发送(周期改变后重选)");
    EXPECT_EQ(control<QLabel>(w.get(), QStringLiteral("LblArtoSendCyc"))->text(), "自动发送周期：");
    EXPECT_EQ(control<QLabel>(w.get(), QStringLiteral("Label14"))->text(), "毫秒");
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtAutoSendTime"))->text(), "1000");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdClearSend"))->text(), "清空重填");
    EXPECT_EQ(control<QPushButton>(w.get(), QStringLiteral("CmdSend"))->text(), "发送");
    EXPECT_FALSE(control<QCheckBox>(w.get(), QStringLiteral("ChkHexSend"))->isChecked());
    EXPECT_FALSE(control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->isChecked());
    EXPECT_FALSE(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->isActive());
    // Everything stands right of the client area, clear of the link and the About button.
    const QRect web = control<QLabel>(w.get(), QStringLiteral("LblWeb"))->geometry(), help = control<QPushButton>(w.get(), QStringLiteral("CmdHelp"))->geometry();
    for (QWidget *c : {static_cast<QWidget *>(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))), static_cast<QWidget *>(control<QLabel>(w.get(), QStringLiteral("LblSend"))),
                       static_cast<QWidget *>(control<QCheckBox>(w.get(), QStringLiteral("ChkHexSend"))), static_cast<QWidget *>(control<QLabel>(w.get(), QStringLiteral("LblAutoSend"))),
                       static_cast<QWidget *>(control<QLineEdit>(w.get(), QStringLiteral("TxtAutoSendTime"))), static_cast<QWidget *>(control<QPushButton>(w.get(), QStringLiteral("CmdSend"))),
                       static_cast<QWidget *>(control<QPushButton>(w.get(), QStringLiteral("CmdClearSend"))), static_cast<QWidget *>(control<QPushButton>(w.get(), QStringLiteral("CmdSelectFile"))),
                       static_cast<QWidget *>(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))), static_cast<QWidget *>(control<QPushButton>(w.get(), QStringLiteral("CmdSendFile"))),
                       static_cast<QWidget *>(control<QPushButton>(w.get(), QStringLiteral("CmdSaveDisp"))), static_cast<QWidget *>(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSavePath")))}) {
        const QRect g = c->geometry();
        EXPECT_GE(g.left(), 1224) << c->objectName().toStdString();
        EXPECT_GE(g.top(), 300) << c->objectName().toStdString();
        EXPECT_LE(g.right(), 1800) << c->objectName().toStdString();
        EXPECT_LE(g.bottom(), 650) << c->objectName().toStdString();
        EXPECT_FALSE(g.intersects(web)) << c->objectName().toStdString();
        EXPECT_FALSE(g.intersects(help)) << c->objectName().toStdString();
    }
}

TEST_F(SendBox, CaretPositionFollowsTheBoxCursor)
{
    startOpen();
    qint32 l = 0, c = 0;
    caret(3, 5);
    SendPane::GetCaretPos(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), l, c);
    EXPECT_EQ(l, 3);
    EXPECT_EQ(c, 5);
    // With a selection: the line of its start, the column of its end.
    QTextCursor cur(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->document()->findBlockByNumber(1));
    cur.setPosition(cur.block().position() + 1);
    cur.setPosition(cur.block().position() + 4, QTextCursor::KeepAnchor);
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->setTextCursor(cur);
    SendPane::GetCaretPos(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), l, c);
    EXPECT_EQ(l, 2);
    EXPECT_EQ(c, 5);
}

TEST_F(SendBox, KeyEventsFollowTheTypingRule)
{
    startOpen();
    // Line 5: "m" becomes "M"; "x" and Enter insert nothing.
    caret(5, 7);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_M);
    EXPECT_EQ(line(5), "H03:MLM");
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_X);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Return);
    EXPECT_EQ(line(5), "H03:MLM");
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->document()->blockCount(), 25);
    // After "H03:" backspace is refused, one letter on it erases.
    caret(5, 5);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Backspace);
    EXPECT_EQ(line(5), "H03:MLM");
    caret(5, 6);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Backspace);
    EXPECT_EQ(line(5), "H03:LM");

    // Line 2: digits only, and "S:" stays.
    caret(2, 6);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_7);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_X);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_A);
    EXPECT_EQ(line(2), "S:3007");
    caret(2, 4);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Backspace);
    EXPECT_EQ(line(2), "S:007");
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Backspace);
    EXPECT_EQ(line(2), "S:007");

    // Delete and the arrows pass unfiltered.
    caret(3, 1);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Delete);
    EXPECT_EQ(line(3), "01:ML");
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // Line 1 is free.
    caret(1, 5);
    QTest::keyClicks(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), QStringLiteral("ab"));
    EXPECT_EQ(line(1), "孔雀开屏ab");
}

TEST_F(SendBox, FiftyCharactersBeforeTheCaretWarnOncePerKey)
{
    startOpen();
    setBox(QString(50, QLatin1Char('a')) + QStringLiteral("\nS:1\n"));
    caret(1, 51);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_B);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, kTooLong);
    EXPECT_EQ(dialogs.messages[0].title, "KestruneV1.0");
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Backspace);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Return);
    EXPECT_EQ(dialogs.messages.size(), 3);
    EXPECT_EQ(line(1), QString(50, QLatin1Char('a')));
    // One character less before the caret: typing works again.
    caret(1, 50);
    QTest::keyClick(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), Qt::Key_Backspace);
    EXPECT_EQ(line(1).size(), 49);
    EXPECT_EQ(dialogs.messages.size(), 3);
}

TEST_F(SendBox, SendButtonWritesTheBoxAsTextOrHexAndTheCounterCountsWrittenBytesOnce)
{
    startOpen();
    ASSERT_EQ(w->counters()->TxTotal(), 0);
    // A board command counts its frame once, sent by whoever.
    const QByteArray search = frames::SearchFrame();
    ASSERT_TRUE(w->session()->send(search));
    EXPECT_EQ(w->counters()->TxTotal(), search.size());
    // The send event of the port adds nothing on top.
    port->sendEvent();
    EXPECT_EQ(w->counters()->TxTotal(), search.size());

    // Text mode: the box in GBK with CR LF line ends.
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSend")), Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[1].bytes, gbk::encode(w->sendPane()->SendBoxText()));
    EXPECT_EQ(port->writes[1].bytes.size(), 188);
    EXPECT_EQ(w->counters()->TxTotal(), search.size() + 188);
    EXPECT_EQ(control<QLineEdit>(w.get(), QStringLiteral("TxtTXCount"))->text(), QStringLiteral("TX:%1").arg(search.size() + 188));

    // Hex mode: the leading hex run of the box.
    control<QCheckBox>(w.get(), QStringLiteral("ChkHexSend"))->setChecked(true);
    setBox(QStringLiteral("01 02 ff\n03"));
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSend")), Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 3);
    EXPECT_EQ(port->writes[2].bytes, QByteArray::fromHex("0102ff"));
    EXPECT_EQ(w->counters()->TxTotal(), search.size() + 188 + 3);

    // Nothing to send: nothing written, nothing counted.
    setBox(sendbox::initialPlainText());
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSend")), Qt::LeftButton);
    control<QCheckBox>(w.get(), QStringLiteral("ChkHexSend"))->setChecked(false);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdClearSend")), Qt::LeftButton);
    EXPECT_TRUE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend"))->toPlainText().isEmpty());
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSend")), Qt::LeftButton);
    EXPECT_EQ(port->writes.size(), 3);
    EXPECT_EQ(w->counters()->TxTotal(), search.size() + 188 + 3);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // With the port closed: the warning, nothing written.
    port->setPortOpen(false);
    QTest::mouseClick(control<QPushButton>(w.get(), QStringLiteral("CmdSend")), Qt::LeftButton);
    EXPECT_EQ(dialogs.texts(), QStringList{kPortNotOpen});
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    EXPECT_EQ(port->writes.size(), 3);
}

TEST_F(SendBox, PeriodicSendingKeepsItsPeriodAndStopsWhenUnchecked)
{
    startOpen();
    control<QLineEdit>(w.get(), QStringLiteral("TxtAutoSendTime"))->setText(QStringLiteral("60"));
    control<QCheckBox>(w.get(), QStringLiteral("ChkHexSend"))->setChecked(true);
    setBox(QStringLiteral("AA55"));
    const qint64 started = port->elapsedMs();
    QTest::mouseClick(control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend")), Qt::LeftButton);
    ASSERT_TRUE(control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->isChecked());
    EXPECT_TRUE(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->isActive());
    EXPECT_EQ(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->interval(), 60);
    ASSERT_TRUE(QTest::qWaitFor([&] { return port->writes.size() >= 4; }, 5000));
    // A timer that ran late catches up with its schedule, so single gaps may
    // be shorter than the period; but the i-th send never comes before i
    // periods have passed since the box was ticked.
    for (int i = 0; i < port->writes.size(); ++i)
        EXPECT_GE(port->writes[i].ms - started, 60 * (i + 1) - 1) << i;
    for (const auto &wr : port->writes)
        EXPECT_EQ(wr.bytes, QByteArray::fromHex("aa55"));

    // A changed period applies only after checking again.
    control<QLineEdit>(w.get(), QStringLiteral("TxtAutoSendTime"))->setText(QStringLiteral("250ms"));
    EXPECT_EQ(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->interval(), 60);
    control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->setChecked(false);
    EXPECT_FALSE(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->isActive());
    const int n = port->writes.size();
    const qint64 restarted = port->elapsedMs();
    control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->setChecked(true);
    EXPECT_EQ(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->interval(), 250);
    EXPECT_TRUE(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->isActive());
    // The next send comes a whole new period after checking again: nothing
    // was sent while the box was unchecked.
    ASSERT_TRUE(QTest::qWaitFor([&] { return port->writes.size() > n; }, 5000));
    EXPECT_GE(port->writes[n].ms - restarted, 249);
    control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->setChecked(false);
    const int m = port->writes.size();

    // A period that does not start with a number leaves the timer inactive.
    control<QLineEdit>(w.get(), QStringLiteral("TxtAutoSendTime"))->setText(QStringLiteral("x100"));
    control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->setChecked(true);
    EXPECT_FALSE(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->isActive());
    QCoreApplication::processEvents();
    EXPECT_EQ(port->writes.size(), m);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(SendBox, TicksWithThePortClosedSendAndShowNothingAndCheckingThenIsRefused)
{
    startOpen();
    control<QLineEdit>(w.get(), QStringLiteral("TxtAutoSendTime"))->setText(QStringLiteral("20"));
    control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !port->writes.isEmpty(); }, 2000));
    port->setPortOpen(false);
    const int n = port->writes.size();
    // Several ticks run with the port closed.
    QSignalSpy ticks(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend")), &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.size() >= 3; }, 5000));
    // Closing the port does not stop the timer; its ticks do nothing.
    EXPECT_TRUE(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->isActive());
    EXPECT_EQ(port->writes.size(), n);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->setChecked(false);
    QTest::mouseClick(control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend")), Qt::LeftButton);
    EXPECT_FALSE(control<QCheckBox>(w.get(), QStringLiteral("ChkAutoSend"))->isChecked());
    EXPECT_FALSE(control<QTimer>(w.get(), QStringLiteral("TmrAutoSend"))->isActive());
    EXPECT_EQ(dialogs.texts(), QStringList{kPortNotOpen});
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
}

TEST_F(SendBox, InputMethodCommitsFollowTheRuleCharacterByCharacter)
{
    startOpen();
    auto commit = [&](const QString &text) {
        QInputMethodEvent e;
        e.setCommitString(text);
        QCoreApplication::sendEvent(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSend")), &e);
    };
    caret(1, 5);
    commit(QStringLiteral("灯"));
    EXPECT_EQ(line(1), "孔雀开屏灯");
    caret(4, 7);
    commit(QStringLiteral("灯m孔L"));
    EXPECT_EQ(line(4), "H02:MLML");
    caret(2, 6);
    commit(QStringLiteral("５9"));
    EXPECT_EQ(line(2), "S:3009");
    EXPECT_TRUE(dialogs.messages.isEmpty());
}
