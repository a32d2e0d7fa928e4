#include "relayfixture.h"
#include "controls.h"

#include "terminal/gbk.h"
#include "app/widgets.h"
#include "logic/editform.h"
#include "logic/namesfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

QByteArray prefixLines(const char *end = "\r\n")
{
    QByteArray b;
    for (int i = 0; i < 16; ++i)
        b += namesfile::prefix(i).toLatin1() + end;
    return b;
}

} // namespace

// ---------------------------------------------------------------- the file format

TEST(NamesFile, FormatWritesSixteenPrefixedGbkLinesEndedByCrLf)
{
    EXPECT_EQ(namesfile::prefix(0), "X00:");
    EXPECT_EQ(namesfile::prefix(7), "X07:");
    EXPECT_EQ(namesfile::prefix(8), "Y00:");
    EXPECT_EQ(namesfile::prefix(15), "Y07:");
    EXPECT_EQ(namesfile::format({}), prefixLines());

    QStringList names(16);
    names[0] = "水泵";
    names[15] = " 阀门 ";
    const QByteArray b = namesfile::format(names);
    EXPECT_TRUE(b.startsWith(QByteArray("X00:") + QByteArray::fromHex("cbaeb1c3") + "\r\nX01:\r\n"));
    EXPECT_TRUE(b.endsWith(QByteArray("Y07: ") + QByteArray::fromHex("b7a7c3c5") + " \r\n"));
}

TEST(NamesFile, ParseReadsBackWhatFormatWrote)
{
    QStringList names;
    for (int i = 0; i < 16; ++i)
        names << QStringLiteral("名称%1").arg(i);
    const auto lines = namesfile::parse(namesfile::format(names));
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(lines->at(i), namesfile::prefix(i) + names[i]);
}

TEST(NamesFile, LineEndsAreCrOrCrLfAndLfAloneIsPartOfTheLine)
{
    // CR only, mixed with CR LF; an empty line between two CRs counts.
    QByteArray mixed = "a\rb\r\n\rc\n d\r";
    for (int i = 0; i < 11; ++i)
        mixed += "x\r\n";
    mixed += "last";
    const auto lines = namesfile::parse(mixed);
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->mid(0, 4), (QStringList{"a", "b", "", "c\n d"}));
    EXPECT_EQ(lines->at(15), "last"); // the sixteenth may end at the end of the data

    // LF only: one single line.
    EXPECT_FALSE(namesfile::parse(prefixLines("\n")));
    // Fifteen lines, with or without an empty remainder.
    QByteArray fifteen = prefixLines().left(prefixLines().lastIndexOf("Y07:"));
    EXPECT_FALSE(namesfile::parse(fifteen));
    EXPECT_FALSE(namesfile::parse(fifteen.chopped(2)));
    EXPECT_FALSE(namesfile::parse({}));
    // More than sixteen: the rest is not read.
    const auto more = namesfile::parse(prefixLines() + "extra\r\n");
    ASSERT_TRUE(more);
    EXPECT_EQ(more->size(), 16);
    EXPECT_EQ(more->last(), "Y07:");
}

// ---------------------------------------------------------------- the editor and the loader

namespace {

class Names : public RelayFixture
{
protected:
    void SetUp() override
    {
        start();
        dialogs.messages.clear();
    }
    editform *openEditor()
    {
        control<QPushButton>(w.get(), QStringLiteral("editname"))->click();
        return w->findChild<editform *>("editform");
    }
    QString file(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    void write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void load(std::optional<QString> answer)
    {
        dialogs.fileAnswers = {answer};
        control<QPushButton>(w.get(), QStringLiteral("loadname"))->click();
    }
    QCheckBox *in(int s, int i) { return control<QCheckBox>(w.get(), ui::arrayName(QStringLiteral("incheck%1").arg(s), i)); }
    QCheckBox *out(int s, int k) { return control<QCheckBox>(w.get(), ui::arrayName(QStringLiteral("outcheck%1").arg(s), k)); }
    // Every caption of the grid, one list per step.
    QStringList captions()
    {
        QStringList c;
        for (int s = 1; s <= 8; ++s) {
            for (int i = 0; i < 16; ++i)
                c << in(s, i)->text();
            for (int k = 0; k < 8; ++k)
                c << out(s, k)->text();
        }
        return c;
    }
    // What every step shows when the file held these sixteen lines.
    static QStringList expectedCaptions(const QStringList &lines)
    {
        QStringList c;
        for (int s = 1; s <= 8; ++s)
            c << lines.mid(0, 8) << lines.mid(0, 8) << lines.mid(8, 8);
        return c;
    }
};

} // namespace

TEST_F(Names, EditorLayoutAndItsLifecycle)
{
    editform *e = openEditor();
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->isVisible());
    EXPECT_TRUE(e->isWindow());
    EXPECT_EQ(e->windowModality(), Qt::NonModal);
    EXPECT_EQ(e->windowTitle(), "编辑名称");
    EXPECT_EQ(e->size(), QSize(994, 477));
    auto *in = control<QGroupBox>(e, "Frame1(0)");
    auto *out = control<QGroupBox>(e, "Frame1(1)");
    ASSERT_TRUE(in && out);
    EXPECT_EQ(in->title(), "输入信号：");
    EXPECT_EQ(in->geometry(), QRect(16, 24, 953, 121));
    EXPECT_EQ(out->title(), "输出信号：");
    EXPECT_EQ(out->geometry(), QRect(16, 168, 953, 121));
    const int lefts[4] = {8, 256, 496, 720}, textLefts[4] = {88, 336, 576, 800}, tops[2] = {24, 64};
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        const QString n = QStringLiteral("%1").arg(k, 2, 10, QLatin1Char('0'));
        auto *lx = control<QLabel>(e, ui::arrayName("Label1", k));
        auto *ly = control<QLabel>(e, ui::arrayName("Label1", 15 - k));
        auto *tx = control<QLineEdit>(e, ui::arrayName("Text1", k));
        auto *ty = control<QLineEdit>(e, ui::arrayName("Text1", 8 + k));
        ASSERT_TRUE(lx && ly && tx && ty);
        EXPECT_EQ(lx->text(), "X" + n + "代表：");
        EXPECT_EQ(ly->text(), "Y" + n + "代表：");
        EXPECT_EQ(lx->parentWidget(), in);
        EXPECT_EQ(ly->parentWidget(), out);
        EXPECT_EQ(tx->parentWidget(), in);
        EXPECT_EQ(ty->parentWidget(), out);
        EXPECT_EQ(lx->pos(), QPoint(lefts[k % 4], tops[k / 4]));
        EXPECT_EQ(ly->pos(), lx->pos());
        EXPECT_EQ(tx->pos(), QPoint(textLefts[k % 4], tops[k / 4]));
        EXPECT_EQ(ty->pos(), tx->pos());
        EXPECT_TRUE(tx->text().isEmpty());
        EXPECT_EQ(tx->maxLength(), 32767); // no limit of our own
        EXPECT_EQ(tx->font().pointSizeF(), 14.25);
    }
    EXPECT_EQ(control<QPushButton>(e, QStringLiteral("Command1"))->text(), "保存设置");
    EXPECT_EQ(control<QPushButton>(e, QStringLiteral("Command1"))->geometry(), QRect(352, 328, 153, 41));
    EXPECT_EQ(control<QPushButton>(e, QStringLiteral("Command2"))->text(), "退出");
    EXPECT_EQ(control<QPushButton>(e, QStringLiteral("Command2"))->geometry(), QRect(592, 328, 137, 41));

    // Open again: the same window, texts kept; the main window stays usable.
    control<QLineEdit>(e, QStringLiteral("Text1"), 3)->setText("keep");
    EXPECT_EQ(openEditor(), e);
    EXPECT_EQ(control<QLineEdit>(e, QStringLiteral("Text1"), 3)->text(), "keep");
    EXPECT_TRUE(w->isEnabled());

    // Exit discards the window; the next one starts empty.
    QPointer<editform> gone(e);
    control<QPushButton>(e, QStringLiteral("Command2"))->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(gone);
    editform *again = openEditor();
    ASSERT_TRUE(again);
    EXPECT_TRUE(control<QLineEdit>(again, QStringLiteral("Text1"), 3)->text().isEmpty());
}

TEST_F(Names, SaveThenLoadRoundTripsChineseNamesInGbk)
{
    editform *e = openEditor();
    // Typed: a key event carrying the text, as an input method delivers it.
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("进水阀"));
    QApplication::sendEvent(control<QLineEdit>(e, QStringLiteral("Text1"), 2), &typed);
    control<QLineEdit>(e, QStringLiteral("Text1"), 8)->setText("水泵");
    control<QLineEdit>(e, QStringLiteral("Text1"), 15)->setText("报警灯 2");
    const QString path = file("names.txt");
    write(path, "old content that is replaced without asking");
    dialogs.fileAnswers = {path};
    control<QPushButton>(e, QStringLiteral("Command1"))->click();

    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    const auto &r = dialogs.fileRequests[0];
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.title, "保存文件");
    EXPECT_EQ(r.filter, "txt文件|*.txt");
    EXPECT_EQ(r.filterIndex, 1);
    EXPECT_FALSE(r.confirmOverwrite);
    EXPECT_EQ(r.initDir, QDir::homePath()); // no "d:\" folder here
    QStringList names(16);
    names[2] = "进水阀";
    names[8] = "水泵";
    names[15] = "报警灯 2";
    EXPECT_EQ(read(path), namesfile::format(names));
    EXPECT_TRUE(read(path).contains(gbk::encode("X02:进水阀\r\n")));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].title, "PellwickV1.0");
    EXPECT_EQ(dialogs.messages[0].text, "文件保存成功！");
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Warning);
    // The editor stays open with its texts; the remembered name is cleared.
    EXPECT_TRUE(e->isVisible());
    EXPECT_EQ(control<QLineEdit>(e, QStringLiteral("Text1"), 8)->text(), "水泵");
    EXPECT_TRUE(e->CommonDialog1.FileName.isEmpty());
    control<QPushButton>(e, QStringLiteral("Command1"))->click(); // cancelled
    EXPECT_TRUE(dialogs.fileRequests[1].fileName.isEmpty());

    load(path);
    ASSERT_EQ(dialogs.fileRequests.size(), 3);
    EXPECT_FALSE(dialogs.fileRequests[2].save);
    EXPECT_EQ(dialogs.fileRequests[2].title, "打开文件");
    EXPECT_EQ(dialogs.fileRequests[2].filter, "文本文件（*.txt）|*.txt");
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText(), path);
    QStringList lines;
    for (int i = 0; i < 16; ++i)
        lines << namesfile::prefix(i) + names[i];
    EXPECT_EQ(captions(), expectedCaptions(lines));
    EXPECT_EQ(in(5, 10)->text(), "X02:进水阀");
    EXPECT_EQ(out(8, 7)->text(), "Y07:报警灯 2");
    EXPECT_EQ(dialogs.messages.size(), 1); // loading shows nothing
}

TEST_F(Names, EveryBoxEmptySavesTheSixteenPrefixLinesAndLoadsThemAsCaptions)
{
    editform *e = openEditor();
    const QString path = file("empty.txt");
    dialogs.fileAnswers = {path};
    control<QPushButton>(e, QStringLiteral("Command1"))->click();
    EXPECT_EQ(read(path), prefixLines());
    load(path);
    QStringList prefixes;
    for (int i = 0; i < 16; ++i)
        prefixes << namesfile::prefix(i);
    EXPECT_EQ(captions(), expectedCaptions(prefixes));
    EXPECT_EQ(in(3, 0)->text(), "X00:");
    EXPECT_EQ(in(3, 8)->text(), "X00:");
}

TEST_F(Names, ShortAndLfOnlyFilesChangeNothingAndLaterCommandsStillWork)
{
    const QStringList initial = captions();
    const QString shortFile = file("short.txt");
    write(shortFile, prefixLines().left(prefixLines().lastIndexOf("Y07:")));
    load(shortFile);
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText(), shortFile);
    EXPECT_EQ(captions(), initial);

    const QString lfFile = file("lf.txt");
    write(lfFile, prefixLines("\n"));
    load(lfFile);
    EXPECT_EQ(captions(), initial);

    load(file("missing.txt"));
    EXPECT_EQ(captions(), initial);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A save in the editor and a load of a correct file both still work.
    editform *e = openEditor();
    control<QLineEdit>(e, QStringLiteral("Text1"), 0)->setText("启动");
    const QString good = file("good.txt");
    dialogs.fileAnswers = {good};
    control<QPushButton>(e, QStringLiteral("Command1"))->click();
    EXPECT_EQ(dialogs.texts(), QStringList{"文件保存成功！"});
    load(good);
    EXPECT_EQ(in(1, 0)->text(), "X00:启动");
    EXPECT_EQ(out(1, 0)->text(), "Y00:");
}

TEST_F(Names, CrOnlyLinesWithOtherPrefixesApplyByPosition)
{
    QByteArray b;
    QStringList lines;
    for (int i = 0; i < 16; ++i) {
        lines << QStringLiteral("第%1行").arg(16 - i);
        b += gbk::encode(lines.last()) + "\r";
    }
    const QString path = file("cr.txt");
    write(path, b);
    load(path);
    EXPECT_EQ(captions(), expectedCaptions(lines));
    EXPECT_EQ(in(2, 0)->text(), "第16行");
    EXPECT_EQ(out(2, 0)->text(), "第8行");
}

TEST_F(Names, CancellingTheDialogs)
{
    // Never chose a file: nothing changes, the path box is emptied.
    const QStringList initial = captions();
    control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->setPlainText("before");
    load(std::nullopt);
    EXPECT_EQ(captions(), initial);
    EXPECT_TRUE(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText().isEmpty());

    // After a load, a cancelled dialog loads the same file again.
    const QString path = file("a.txt");
    write(path, prefixLines());
    load(path);
    QByteArray changed = prefixLines();
    changed.replace("X05:", "X05:again");
    write(path, changed);
    load(std::nullopt);
    EXPECT_EQ(dialogs.fileRequests.last().fileName, path);
    EXPECT_EQ(control<QPlainTextEdit>(w.get(), QStringLiteral("TxtSendPath"))->toPlainText(), path);
    EXPECT_EQ(in(7, 13)->text(), "X05:again");

    // Save: cancelled, blank path, a folder that does not exist: silent.
    editform *e = openEditor();
    control<QLineEdit>(e, QStringLiteral("Text1"), 1)->setText("x");
    dialogs.fileAnswers = {std::nullopt, QString("   "), file("no/such/folder/n.txt")};
    control<QPushButton>(e, QStringLiteral("Command1"))->click();
    control<QPushButton>(e, QStringLiteral("Command1"))->click();
    control<QPushButton>(e, QStringLiteral("Command1"))->click();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(QFile::exists(file("no/such/folder/n.txt")));
    EXPECT_EQ(control<QLineEdit>(e, QStringLiteral("Text1"), 1)->text(), "x");
    EXPECT_TRUE(e->isVisible());
}

TEST_F(Names, SaveStartsInDColonWhereSuchAFolderExists)
{
    // On this system "d:\" can only be a folder of that name in the working folder.
    struct RestoreCwd
    {
        QString path = QDir::currentPath();
        ~RestoreCwd() { QDir::setCurrent(path); }
    } restore;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    ASSERT_TRUE(QDir().mkdir("d:\\"));
    control<QPushButton>(openEditor(), QStringLiteral("Command1"))->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].initDir, "d:\\");
}
