// The send box on the main window: typing through real key events, sending,
// the TX counter and periodic sending.
#include "relayfixture.h"

#include "app/gbk.h"
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
        QTextCursor c(w->TxtSend->document()->findBlockByNumber(line - 1));
        c.setPosition(c.block().position() + col - 1);
        w->TxtSend->setTextCursor(c);
    }
    QString line(int n) const { return w->TxtSend->document()->findBlockByNumber(n - 1).text(); }
    void setBox(const QString &plain) { w->TxtSend->setPlainText(plain); }
};

TEST_F(SendBox, StartsWithTheLampPatternInItsFontAndTheControlsInThePark)
{
    startOpen();
    EXPECT_EQ(gbk::encode(w->SendBoxText()).size(), 188);
    EXPECT_EQ(w->TxtSend->font().pointSizeF(), 18.0);
    EXPECT_EQ(w->TxtSend->font().family(), "SimSun");
    EXPECT_EQ(line(1), "孔雀开屏");
    EXPECT_EQ(line(24), "E");
    EXPECT_EQ(w->LblSend->text(), "发送的字符/数据");
    EXPECT_EQ(w->Label11->text(), "十六进制发送");
    EXPECT_EQ(w->LblAutoSend->text(), "自动发送(周期改变后重选)");
    EXPECT_EQ(w->LblArtoSendCyc->text(), "自动发送周期：");
    EXPECT_EQ(w->Label14->text(), "毫秒");
    EXPECT_EQ(w->TxtAutoSendTime->text(), "1000");
    EXPECT_EQ(w->CmdClearSend->text(), "清空重填");
    EXPECT_EQ(w->CmdSend->text(), "发送");
    EXPECT_FALSE(w->ChkHexSend->isChecked());
    EXPECT_FALSE(w->ChkAutoSend->isChecked());
    EXPECT_FALSE(w->TmrAutoSend->isActive());
    // Everything stands right of the client area, clear of the link and the About button.
    const QRect web = w->LblWeb->geometry(), help = w->CmdHelp->geometry();
    for (QWidget *c : {static_cast<QWidget *>(w->TxtSend), static_cast<QWidget *>(w->LblSend),
                       static_cast<QWidget *>(w->ChkHexSend), static_cast<QWidget *>(w->LblAutoSend),
                       static_cast<QWidget *>(w->TxtAutoSendTime), static_cast<QWidget *>(w->CmdSend),
                       static_cast<QWidget *>(w->CmdClearSend), static_cast<QWidget *>(w->CmdSelectFile),
                       static_cast<QWidget *>(w->TxtSendPath), static_cast<QWidget *>(w->CmdSendFile),
                       static_cast<QWidget *>(w->CmdSaveDisp), static_cast<QWidget *>(w->TxtSavePath)}) {
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
    w->GetCaretPos(w->TxtSend, l, c);
    EXPECT_EQ(l, 3);
    EXPECT_EQ(c, 5);
    // With a selection: the line of its start, the column of its end.
    QTextCursor cur(w->TxtSend->document()->findBlockByNumber(1));
    cur.setPosition(cur.block().position() + 1);
    cur.setPosition(cur.block().position() + 4, QTextCursor::KeepAnchor);
    w->TxtSend->setTextCursor(cur);
    w->GetCaretPos(w->TxtSend, l, c);
    EXPECT_EQ(l, 2);
    EXPECT_EQ(c, 5);
}

TEST_F(SendBox, KeyEventsFollowTheTypingRule)
{
    startOpen();
    // Line 5: "m" becomes "M"; "x" and Enter insert nothing.
    caret(5, 7);
    QTest::keyClick(w->TxtSend, Qt::Key_M);
    EXPECT_EQ(line(5), "H03:MLM");
    QTest::keyClick(w->TxtSend, Qt::Key_X);
    QTest::keyClick(w->TxtSend, Qt::Key_Return);
    EXPECT_EQ(line(5), "H03:MLM");
    EXPECT_EQ(w->TxtSend->document()->blockCount(), 25);
    // After "H03:" backspace is refused, one letter on it erases.
    caret(5, 5);
    QTest::keyClick(w->TxtSend, Qt::Key_Backspace);
    EXPECT_EQ(line(5), "H03:MLM");
    caret(5, 6);
    QTest::keyClick(w->TxtSend, Qt::Key_Backspace);
    EXPECT_EQ(line(5), "H03:LM");

    // Line 2: digits only, and "S:" stays.
    caret(2, 6);
    QTest::keyClick(w->TxtSend, Qt::Key_7);
    QTest::keyClick(w->TxtSend, Qt::Key_X);
    QTest::keyClick(w->TxtSend, Qt::Key_A);
    EXPECT_EQ(line(2), "S:3007");
    caret(2, 4);
    QTest::keyClick(w->TxtSend, Qt::Key_Backspace);
    EXPECT_EQ(line(2), "S:007");
    QTest::keyClick(w->TxtSend, Qt::Key_Backspace);
    EXPECT_EQ(line(2), "S:007");

    // Delete and the arrows pass unfiltered.
    caret(3, 1);
    QTest::keyClick(w->TxtSend, Qt::Key_Delete);
    EXPECT_EQ(line(3), "01:ML");
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // Line 1 is free.
    caret(1, 5);
    QTest::keyClicks(w->TxtSend, QStringLiteral("ab"));
    EXPECT_EQ(line(1), "孔雀开屏ab");
}

TEST_F(SendBox, FiftyCharactersBeforeTheCaretWarnOncePerKey)
{
    startOpen();
    setBox(QString(50, QLatin1Char('a')) + QStringLiteral("\nS:1\n"));
    caret(1, 51);
    QTest::keyClick(w->TxtSend, Qt::Key_B);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, kTooLong);
    EXPECT_EQ(dialogs.messages[0].title, "KestruneV1.0");
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    QTest::keyClick(w->TxtSend, Qt::Key_Backspace);
    QTest::keyClick(w->TxtSend, Qt::Key_Return);
    EXPECT_EQ(dialogs.messages.size(), 3);
    EXPECT_EQ(line(1), QString(50, QLatin1Char('a')));
    // One character less before the caret: typing works again.
    caret(1, 50);
    QTest::keyClick(w->TxtSend, Qt::Key_Backspace);
    EXPECT_EQ(line(1).size(), 49);
    EXPECT_EQ(dialogs.messages.size(), 3);
}

TEST_F(SendBox, SendButtonWritesTheBoxAsTextOrHexAndTheCounterCountsWrittenBytesOnce)
{
    startOpen();
    ASSERT_EQ(w->TxTotal, 0);
    // A board command counts its frame once, sent by whoever.
    const QByteArray search = frames::SearchFrame();
    ASSERT_TRUE(w->SendFrame(search));
    EXPECT_EQ(w->TxTotal, search.size());
    // The send event of the port adds nothing on top.
    port->sendEvent();
    w->CountSentText();
    EXPECT_EQ(w->TxTotal, search.size());

    // Text mode: the box in GBK with CR LF line ends.
    QTest::mouseClick(w->CmdSend, Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[1].bytes, gbk::encode(w->SendBoxText()));
    EXPECT_EQ(port->writes[1].bytes.size(), 188);
    EXPECT_EQ(w->TxTotal, search.size() + 188);
    EXPECT_EQ(w->TxtTXCount->text(), QStringLiteral("TX:%1").arg(search.size() + 188));

    // Hex mode: the leading hex run of the box.
    w->ChkHexSend->setChecked(true);
    setBox(QStringLiteral("01 02 ff\n03"));
    QTest::mouseClick(w->CmdSend, Qt::LeftButton);
    ASSERT_EQ(port->writes.size(), 3);
    EXPECT_EQ(port->writes[2].bytes, QByteArray::fromHex("0102ff"));
    EXPECT_EQ(w->TxTotal, search.size() + 188 + 3);

    // Nothing to send: nothing written, nothing counted.
    setBox(sendbox::initialPlainText());
    QTest::mouseClick(w->CmdSend, Qt::LeftButton);
    w->ChkHexSend->setChecked(false);
    QTest::mouseClick(w->CmdClearSend, Qt::LeftButton);
    EXPECT_TRUE(w->TxtSend->toPlainText().isEmpty());
    QTest::mouseClick(w->CmdSend, Qt::LeftButton);
    EXPECT_EQ(port->writes.size(), 3);
    EXPECT_EQ(w->TxTotal, search.size() + 188 + 3);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // With the port closed: the warning, nothing written.
    port->setPortOpen(false);
    QTest::mouseClick(w->CmdSend, Qt::LeftButton);
    EXPECT_EQ(dialogs.texts(), QStringList{kPortNotOpen});
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    EXPECT_EQ(port->writes.size(), 3);
}

TEST_F(SendBox, PeriodicSendingKeepsItsPeriodAndStopsWhenUnchecked)
{
    startOpen();
    w->TxtAutoSendTime->setText(QStringLiteral("60"));
    w->ChkHexSend->setChecked(true);
    setBox(QStringLiteral("AA55"));
    const qint64 started = port->elapsedMs();
    QTest::mouseClick(w->ChkAutoSend, Qt::LeftButton);
    ASSERT_TRUE(w->ChkAutoSend->isChecked());
    EXPECT_TRUE(w->TmrAutoSend->isActive());
    EXPECT_EQ(w->TmrAutoSend->interval(), 60);
    ASSERT_TRUE(QTest::qWaitFor([&] { return port->writes.size() >= 4; }, 5000));
    // A timer that ran late catches up with its schedule, so single gaps may
    // be shorter than the period; but the i-th send never comes before i
    // periods have passed since the box was ticked.
    for (int i = 0; i < port->writes.size(); ++i)
        EXPECT_GE(port->writes[i].ms - started, 60 * (i + 1) - 1) << i;
    for (const auto &wr : port->writes)
        EXPECT_EQ(wr.bytes, QByteArray::fromHex("aa55"));

    // A changed period applies only after checking again.
    w->TxtAutoSendTime->setText(QStringLiteral("250ms"));
    EXPECT_EQ(w->TmrAutoSend->interval(), 60);
    w->ChkAutoSend->setChecked(false);
    EXPECT_FALSE(w->TmrAutoSend->isActive());
    const int n = port->writes.size();
    const qint64 restarted = port->elapsedMs();
    w->ChkAutoSend->setChecked(true);
    EXPECT_EQ(w->TmrAutoSend->interval(), 250);
    EXPECT_TRUE(w->TmrAutoSend->isActive());
    // The next send comes a whole new period after checking again: nothing
    // was sent while the box was unchecked.
    ASSERT_TRUE(QTest::qWaitFor([&] { return port->writes.size() > n; }, 5000));
    EXPECT_GE(port->writes[n].ms - restarted, 249);
    w->ChkAutoSend->setChecked(false);
    const int m = port->writes.size();

    // A period that does not start with a number leaves the timer inactive.
    w->TxtAutoSendTime->setText(QStringLiteral("x100"));
    w->ChkAutoSend->setChecked(true);
    EXPECT_FALSE(w->TmrAutoSend->isActive());
    QCoreApplication::processEvents();
    EXPECT_EQ(port->writes.size(), m);
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(SendBox, TicksWithThePortClosedSendAndShowNothingAndCheckingThenIsRefused)
{
    startOpen();
    w->TxtAutoSendTime->setText(QStringLiteral("20"));
    w->ChkAutoSend->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !port->writes.isEmpty(); }, 2000));
    port->setPortOpen(false);
    const int n = port->writes.size();
    // Several ticks run with the port closed.
    QSignalSpy ticks(w->TmrAutoSend, &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.size() >= 3; }, 5000));
    // Closing the port does not stop the timer; its ticks do nothing.
    EXPECT_TRUE(w->TmrAutoSend->isActive());
    EXPECT_EQ(port->writes.size(), n);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    w->ChkAutoSend->setChecked(false);
    QTest::mouseClick(w->ChkAutoSend, Qt::LeftButton);
    EXPECT_FALSE(w->ChkAutoSend->isChecked());
    EXPECT_FALSE(w->TmrAutoSend->isActive());
    EXPECT_EQ(dialogs.texts(), QStringList{kPortNotOpen});
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
}

TEST_F(SendBox, InputMethodCommitsFollowTheRuleCharacterByCharacter)
{
    startOpen();
    auto commit = [&](const QString &text) {
        QInputMethodEvent e;
        e.setCommitString(text);
        QCoreApplication::sendEvent(w->TxtSend, &e);
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
