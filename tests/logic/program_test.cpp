// Program files through the window: Ctrl+S / Ctrl+O and the grid's context
// menu, with the grid's own rules and the names loader's captions.
#include "relayfixture.h"
#include "controls.h"

#include "app/widgets.h"
#include "logic/namesfile.h"
#include "logic/namesgroup.h"
#include "logic/programcommands.h"
#include "logic/programfile.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QTest>

namespace {

// Everything the grid shows: per box "checked/enabled", then the captions.
struct GridState
{
    QStringList boxes;
    QStringList captions;
    bool operator==(const GridState &o) const { return boxes == o.boxes && captions == o.captions; }
    bool operator!=(const GridState &o) const { return !(*this == o); }
};

void PrintTo(const GridState &s, std::ostream *os)
{
    *os << s.boxes.join(' ').toStdString() << " | " << s.captions.join(' ').toStdString();
}

class Program : public RelayFixture
{
protected:
    void SetUp() override
    {
        start();
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        dialogs.messages.clear();
    }
    QCheckBox *in(int s, int i) { return gridIn(w.get(), s, i); }
    QCheckBox *out(int s, int k) { return gridOut(w.get(), s, k); }
    QAction *action(const char *name) { return control<QAction>(w.get(), QLatin1String(name)); }

    GridState state()
    {
        GridState g;
        for (int s = 1; s <= 8; ++s) {
            for (int i = 0; i < 16; ++i)
                g.boxes << QStringLiteral("i%1.%2:%3%4").arg(s).arg(i).arg(in(s, i)->isChecked()).arg(in(s, i)->isEnabled());
            for (int k = 0; k < 8; ++k)
                g.boxes << QStringLiteral("o%1.%2:%3%4").arg(s).arg(k).arg(out(s, k)->isChecked()).arg(out(s, k)->isEnabled());
        }
        for (int s = 1; s <= 8; ++s) {
            for (int i = 0; i < 16; ++i)
                g.captions << in(s, i)->text();
            for (int k = 0; k < 8; ++k)
                g.captions << out(s, k)->text();
        }
        return g;
    }
    QStringList greyed() { return greyedGridBoxes(w.get()); }
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    void loadNames(const QStringList &names)
    {
        const QString path = write(QStringLiteral("names.txt"), namesfile::format(names));
        dialogs.fileAnswers << path;
        control<QPushButton>(w.get(), "loadname")->click();
    }
    // Ctrl+O on the focused control, answering the dialog with path.
    void loadByKeys(const QString &path)
    {
        dialogs.fileAnswers << path;
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w.get(), Qt::Key_O,
                        Qt::ControlModifier);
    }
};

} // namespace

TEST_F(Program, SaveThenLoadGivesBackTheSameGridAndCaptions)
{
    // A program clicked in, with greyed boxes in several steps.
    for (auto [s, i] : {std::pair{1, 0}, {1, 9}, {3, 15}, {3, 4}, {8, 7}, {8, 8}})
        in(s, i)->click();
    for (auto [s, k] : {std::pair{2, 0}, {2, 7}, {5, 2}, {8, 3}})
        out(s, k)->click();
    // Names as the loader makes them: a plain one kept, an empty one, spaces,
    // signs of the file's syntax, Chinese.
    QStringList names(16);
    names[0] = QStringLiteral("启动按钮");
    names[2] = QStringLiteral("  = # - step 1");
    names[9] = QStringLiteral("水泵 ");
    loadNames(names);
    w->stepGrid()->SetInputCaption(5, QStringLiteral("X05")); // plain again
    const GridState saved = state();
    ASSERT_EQ(in(1, 2)->text(), QStringLiteral("X02:  = # - step 1"));

    const QString path = dir.filePath(QStringLiteral("pump.kprog"));
    dialogs.fileAnswers << path;
    in(4, 4)->setFocus();
    QTest::keyClick(in(4, 4), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    const Dialogs::FileRequest &r = dialogs.fileRequests.last();
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.title, QStringLiteral("保存程序"));
    EXPECT_EQ(r.filter, QStringLiteral("Kestrune程序|*.kprog"));
    EXPECT_EQ(r.defaultSuffix, QStringLiteral("kprog"));
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.texts().join('\n').toStdString();

    // The file holds what the grid held.
    const programfile::Result onDisk = programfile::load(path);
    ASSERT_TRUE(onDisk.ok()) << onDisk.error.text().toStdString();
    for (int s = 1; s <= 8; ++s) {
        const LogicStep g = w->stepGrid()->ReadLogicStep(s), f = onDisk.program.steps[s - 1];
        EXPECT_EQ(std::tuple(g.andMask, g.orMask, g.outMask), std::tuple(f.andMask, f.orMask, f.outMask)) << s;
    }
    EXPECT_EQ(onDisk.program.names[0], names[0]);
    EXPECT_EQ(onDisk.program.names[1], QString());
    EXPECT_FALSE(onDisk.program.names[5]);

    // Another program and other names in between, then the file again.
    control<QAction>(w.get(), "mnuClearProgram")->trigger();
    out(3, 0)->click();
    out(1, 2)->click();
    in(1, 0)->click(); // unticks it
    in(1, 8)->click();
    loadNames(QStringList(16, QStringLiteral("别的")));
    ASSERT_NE(state(), saved);
    loadByKeys(path);
    const Dialogs::FileRequest &o = dialogs.fileRequests.last();
    EXPECT_FALSE(o.save);
    EXPECT_EQ(o.title, QStringLiteral("载入程序"));
    EXPECT_EQ(o.filter, QStringLiteral("Kestrune程序|*.kprog"));
    EXPECT_EQ(o.fileName, path); // the dialog starts on the last program file
    EXPECT_EQ(state(), saved);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.texts().join('\n').toStdString();
}

TEST_F(Program, ALoadedProgramGreysAsClicksWouldAndNamesBecomeCaptions)
{
    // An output that moves from step 1 to step 3, an AND box that moves to
    // the OR group of the same step.
    out(1, 2)->click();
    in(3, 0)->click();
    const QString path = write(QStringLiteral("a.kprog"),
                               "kestrune-program 1\n"
                               "step 3  and X07  or X00  out Y02\n"
                               "step 6  and -    or -    out Y00 Y01\n"
                               "name X07 = Door\n"
                               "name Y02 =\n");
    loadByKeys(path);
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.texts().join('\n').toStdString();
    EXPECT_FALSE(out(1, 2)->isChecked());
    EXPECT_TRUE(out(3, 2)->isChecked());
    EXPECT_TRUE(out(3, 2)->isEnabled());
    EXPECT_FALSE(in(3, 0)->isChecked());
    EXPECT_TRUE(in(3, 8)->isChecked());
    QStringList expected{"in3(0)", "in3(15)"};
    for (int s = 1; s <= 8; ++s) {
        if (s != 6)
            expected << QStringLiteral("out%1(0)").arg(s) << QStringLiteral("out%1(1)").arg(s);
        if (s != 3)
            expected << QStringLiteral("out%1(2)").arg(s);
    }
    QStringList got = greyed();
    got.sort();
    expected.sort();
    EXPECT_EQ(got, expected);
    // The loader's captions: the prefix and the name; not named: plain.
    EXPECT_EQ(in(5, 7)->text(), QStringLiteral("X07:Door"));
    EXPECT_EQ(in(5, 15)->text(), QStringLiteral("X07:Door"));
    EXPECT_EQ(out(8, 2)->text(), QStringLiteral("Y02:"));
    EXPECT_EQ(in(2, 0)->text(), QStringLiteral("X00"));
    EXPECT_EQ(out(2, 7)->text(), QStringLiteral("Y07"));
    // The boxes still follow clicks from here on.
    out(3, 2)->click();
    EXPECT_TRUE(out(1, 2)->isEnabled());
}

TEST_F(Program, ARefusedFileNamesItsLineAndLeavesTheGridAsItWas)
{
    in(2, 3)->click();
    out(4, 5)->click();
    QStringList names(16);
    names[1] = QStringLiteral("Start");
    loadNames(names);
    const GridState before = state();

    const QByteArray head = "kestrune-program 1\n";
    const struct
    {
        const char *name;
        QByteArray bytes;
        QString says; // part of the message
    } cases[] = {
        {"word.kprog", head + "step 1 and X00 or - out Y00\nstep 2 and X09 or - out -\n", "第3行：无法识别“X09”"},
        {"andor.kprog", head + "# both\nstep 7 and X01 or X01 out -\n", "第3行：X01同时在"},
        {"outtwice.kprog", head + "step 1 and - or - out Y03\n\nstep 2 and - or - out Y03\n", "第4行：Y03已是第1步的输出"},
        {"range.kprog", head + "step 9 and - or - out -\n", "第2行：步号9超出1-8"},
        {"header.kprog", "kestrune program\n", "第1行"},
        {"utf8.kprog", head + "name X00 = ok\nname X01 = \xC4\xE3\n", "第3行：不是UTF-8文本"},
        {"big.kprog", head + QByteArray(70 * 1024, '#'), "文件超过64KB"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.messages.clear();
        loadByKeys(write(QLatin1String(c.name), c.bytes));
        ASSERT_EQ(dialogs.messages.size(), 1);
        const ScriptedDialogs::Message &m = dialogs.messages.first();
        EXPECT_EQ(m.title, QStringLiteral("KestruneV1.0"));
        EXPECT_EQ(m.icon, Dialogs::Warning);
        EXPECT_TRUE(m.text.contains(c.says)) << m.text.toStdString();
        EXPECT_TRUE(m.text.contains(QLatin1String(c.name))) << m.text.toStdString();
        EXPECT_EQ(state(), before);
    }

    // A file that is not there; a cancelled dialog says nothing.
    dialogs.messages.clear();
    loadByKeys(dir.filePath(QStringLiteral("none.kprog")));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().text.contains(QStringLiteral("无法读取文件")));
    dialogs.messages.clear();
    loadByKeys(QString());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(state(), before);
}

TEST_F(Program, AFailedSaveIsShownAndLeavesNoFile)
{
    out(2, 1)->click();
    // A folder that does not exist.
    const QString path = dir.filePath(QStringLiteral("missing/p.kprog"));
    dialogs.fileAnswers << path;
    action("mnuSaveProgram")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages.first().icon, Dialogs::Warning);
    EXPECT_TRUE(dialogs.messages.first().text.contains(QStringLiteral("无法写入文件"))) << dialogs.texts().join('\n').toStdString();
    EXPECT_FALSE(QFile::exists(path));

    // A file already there stays whole when the new one cannot be written:
    // a name with a line break (a names file may carry one) is refused first.
    const QString kept = write(QStringLiteral("kept.kprog"), "kestrune-program 1\n");
    w->stepGrid()->SetOutputCaption(1, QStringLiteral("Y01:two\nlines"));
    dialogs.messages.clear();
    dialogs.fileAnswers << kept;
    action("mnuSaveProgram")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().text.contains(QStringLiteral("Y01的名称含有换行")));
    QFile f(kept);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("kestrune-program 1\n"));

    // A caption that is not its box's own (a names file in another order)
    // cannot be saved as a name: said before any dialog opens.
    w->stepGrid()->SetOutputCaption(1, QStringLiteral("Y01"));
    w->stepGrid()->SetInputCaption(3, QStringLiteral("Y05:pump"));
    dialogs.messages.clear();
    const int asked = dialogs.fileRequests.size();
    action("mnuSaveProgram")->trigger();
    EXPECT_EQ(dialogs.fileRequests.size(), asked);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().text.contains(QStringLiteral("X03的标题“Y05:pump”不以“X03:”开头")));
}

TEST_F(Program, ClearUnticksEveryBoxAndKeepsTheCaptions)
{
    QStringList names(16);
    names[8] = QStringLiteral("灯");
    loadNames(names);
    for (int k = 0; k < 8; ++k)
        out(1, k)->click();
    in(5, 3)->click();
    in(7, 12)->click();
    const QStringList captions = state().captions;
    action("mnuClearProgram")->trigger();
    EXPECT_TRUE(greyed().isEmpty()) << greyed().join(' ').toStdString();
    for (int s = 1; s <= 8; ++s) {
        const LogicStep st = w->stepGrid()->ReadLogicStep(s);
        EXPECT_EQ(st.andMask | st.orMask | st.outMask, 0) << s;
    }
    EXPECT_EQ(state().captions, captions);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(dialogs.fileRequests.size() == 1); // the names file only
}

TEST_F(Program, ShortcutsWorkWhereverTheFocusIsInTheWindow)
{
    // Boxes, buttons, the address box and the terminal's text boxes.
    for (const char *name : {"incheck6(9)", "CmdQuit", "Combo1", "TxtSend", "TxtReceive", "VScroll1", "CboCom"}) {
        SCOPED_TRACE(name);
        QWidget *target = control<QWidget>(w.get(), QLatin1String(name));
        ASSERT_TRUE(target);
        target->setFocus();
        QWidget *focus = QApplication::focusWidget();
        ASSERT_TRUE(focus && (focus == target || target->isAncestorOf(focus)));
        const int before = dialogs.fileRequests.size();
        QTest::keyClick(focus, Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(focus, Qt::Key_O, Qt::ControlModifier);
        ASSERT_EQ(dialogs.fileRequests.size(), before + 2);
        EXPECT_TRUE(dialogs.fileRequests.at(before).save);
        EXPECT_FALSE(dialogs.fileRequests.at(before + 1).save);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(Program, TheGridsContextMenuHoldsTheThreeCommands)
{
    auto *menu = w->findChild<QMenu *>(QStringLiteral("GridMenu"));
    ASSERT_TRUE(menu);
    QStringList texts;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            texts << a->text();
    EXPECT_EQ(texts, (QStringList{"保存程序…", "载入程序…", "清空程序"}));
    EXPECT_EQ(action("mnuSaveProgram")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_EQ(action("mnuLoadProgram")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));

    // A right click on a box deep in the grid, and on a step's frame, opens it.
    for (const char *name : {"outcheck7(5)", "Frame4(1)"}) {
        SCOPED_TRACE(name);
        QWidget *target = control<QWidget>(w.get(), QLatin1String(name));
        const QPoint at(5, 5);
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &e);
        EXPECT_TRUE(menu->isVisible());
        menu->hide();
    }
}
