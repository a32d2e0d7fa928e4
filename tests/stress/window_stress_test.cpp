// The main window under random use over a pseudo-terminal: a storm of
// clicks with the board's model answering, and the line pulled at random
// moments of a download, of the status reads and of file sending. Controls
// are reached by objectName only.
#include "controls.h"
#include "qtprint.h"
#include "realport.h"
#include "scripteddialogs.h"
#include "stresskit.h"

#include "protocol/frames.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>

namespace {

// The buttons that must be free whenever nothing is under way.
#define COMMAND_BUTTONS "writefirst", "CmdReset", "writeadd", "sdevice", "Command1", "Command2", "CmdSendFile"

class WindowStress : public ::testing::Test
{
protected:
    void startTool(bool answer = true)
    {
        ASSERT_TRUE(dir.isValid());
        pty = std::make_unique<PtyPair>();
        ASSERT_TRUE(pty->ok());
        ASSERT_TRUE(pty->linkAs(dir.path(), 1));
        peer = std::make_unique<stress::Peer>(*pty, answer);
        w = startToolOnCom1(dir.path(), &dialogs);
        ASSERT_TRUE(w);
        ASSERT_TRUE(portShownOpen()) << dialogs.texts().join(QLatin1Char('|')).toStdString();
    }
    void TearDown() override
    {
        closeStatusWindow();
        w.reset();
        peer.reset();
        pty.reset();
    }
    bool portShownOpen() const
    {
        const QWidget *on = control<QWidget>(w.get(), QStringLiteral("ImgSwitchOn"));
        return on && !on->isHidden();
    }
    bool portShownClosed() const
    {
        const QWidget *on = control<QWidget>(w.get(), QStringLiteral("ImgSwitchOn"));
        const QWidget *off = control<QWidget>(w.get(), QStringLiteral("ImgSwitchOff"));
        return on && off && on->isHidden() && !off->isHidden();
    }
    QAbstractButton *button(const char *name) const
    {
        return control<QAbstractButton>(w.get(), QString::fromLatin1(name));
    }
    static void closeStatusWindow()
    {
        for (QWidget *t : QApplication::topLevelWidgets()) {
            if (t->objectName() == QLatin1String("devicestatus") && t->isVisible())
                t->close();
        }
    }
    // Clicks a button from the event loop, so that a click that waits for
    // its answers runs nested while the test goes on.
    void clickLater(const char *name)
    {
        QAbstractButton *b = button(name);
        ASSERT_TRUE(b) << name;
        QTimer::singleShot(0, b, [b] { b->click(); });
    }
    // Events delivered over ten ticks of the reply parser's timer (at least
    // 200 ms): a program that only waits sees a few dozen, one that spins
    // (a timer at zero, a notifier firing on a dead line) many thousands.
    qint64 eventsOverTenParserTicks()
    {
        QTimer *t = control<QTimer>(w.get(), QStringLiteral("Timer2"));
        if (!t)
            return -1;
        int ticks = 0;
        const QMetaObject::Connection c = QObject::connect(t, &QTimer::timeout, [&] { ++ticks; });
        stress::EventCounter counter;
        const bool done = stress::waitFor([&] { return ticks >= 10; }, 20000);
        QObject::disconnect(c);
        return done ? counter.count : -1;
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<stress::Peer> peer;
    std::unique_ptr<relay> w;
    std::mt19937 rng{std::random_device{}()};
};

} // namespace

TEST_F(WindowStress, ClickStormCarriesOnlyWholeFramesAndWholeDownloads)
{
    const unsigned seed = rng();
    SCOPED_TRACE(seed);
    rng.seed(seed);
    ASSERT_NO_FATAL_FAILURE(startTool());

    QStringList names = {QStringLiteral("writefirst"), QStringLiteral("writefirst"), QStringLiteral("Command1"),
                         QStringLiteral("sdevice"), QStringLiteral("CmdReset"), QStringLiteral("Command2"),
                         QStringLiteral("CmdClearReceive")};
    for (int s = 1; s <= 8; ++s) {
        for (int k = 0; k < 16; k += 3)
            names << QStringLiteral("incheck%1(%2)").arg(s).arg(k);
        for (int k = 0; k < 8; k += 3)
            names << QStringLiteral("outcheck%1(%2)").arg(s).arg(k);
    }
    for (const QString &n : names)
        ASSERT_TRUE(control<QAbstractButton>(w.get(), n)) << n.toStdString();

    // Each click first plans the next one, so clicks land inside the waits
    // of the ones before them.
    QElapsedTimer storm;
    storm.start();
    const qint64 stormMs = qint64(20000 * stress::scale());
    int depth = 0, clicks = 0;
    std::function<void()> next = [&] {
        if (storm.elapsed() >= stormMs)
            return;
        QTimer::singleShot(int(rng() % 40), w.get(), next);
        QAbstractButton *b = control<QAbstractButton>(w.get(), names[int(rng() % names.size())]);
        if (!b->isEnabled())
            return;
        ++depth;
        ++clicks;
        b->click();
        --depth;
    };
    QTimer::singleShot(0, w.get(), next);
    ASSERT_TRUE(stress::waitFor([&] { return storm.elapsed() >= stormMs + 100; }, int(stormMs) + 60000));
    closeStatusWindow();
    ASSERT_TRUE(stress::waitFor([&] { return depth == 0 && buttonsFree(w.get(), {COMMAND_BUTTONS}); }, 60000))
        << "buttons still busy after the storm";
    EXPECT_GT(clicks, 20);

    // A last search marks the end: everything before it on the line is whole.
    const qsizetype before = peer->received.size();
    button("sdevice")->click();
    const QByteArray marker = frames::SearchFrame();
    ASSERT_TRUE(stress::waitFor([&] { return peer->received.indexOf(marker, before) >= 0; }, 10000));
    const QByteArray line = peer->received.left(peer->received.indexOf(marker, before) + marker.size());

    QList<QByteArray> frames;
    qsizetype badAt = -1;
    ASSERT_TRUE(stress::splitFrames(line, &frames, &badAt))
        << "torn frame at byte " << badAt << ": " << line.mid(qMax<qsizetype>(0, badAt - 16), 48).toHex(' ').toStdString();

    // Every download is steps 1..8 in order, each one whole.
    int expected = 1, downloads = 0;
    for (const QByteArray &f : frames) {
        if (f.size() == 14 && uint8_t(f[1]) == 0x10 && uint8_t(f[2]) == 0x00 && uint8_t(f[3]) == 0x77) {
            ASSERT_EQ(int(uint8_t(f[7])), expected) << "download out of order";
            if (++expected > 8) {
                expected = 1;
                ++downloads;
            }
        }
    }
    RecordProperty("clicks", clicks);
    RecordProperty("frames", int(frames.size()));
    RecordProperty("downloads", downloads);
    std::printf("storm: %d clicks, %d frames, %d whole downloads\n", clicks, int(frames.size()), downloads);
    EXPECT_EQ(expected, 1) << "a download stopped half way";
    EXPECT_GT(downloads, 0);
    EXPECT_TRUE(buttonsFree(w.get(), {COMMAND_BUTTONS}));
    EXPECT_TRUE(portShownOpen());
}

namespace {

enum class Under { Download, StatusReads, FileSending };

} // namespace

class LinePulled : public WindowStress, public ::testing::WithParamInterface<Under>
{
};

TEST_P(LinePulled, AtRandomMomentsFreesTheButtonsAndGoesIdle)
{
    const Under under = GetParam();
    const int rounds = stress::scaled(20, 5);
    const QString file = QDir(QDir::tempPath()).filePath(QStringLiteral("kestrune-stress-%1.txt").arg(rng()));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 250; ++i) // a few seconds of line time: sent piece by piece
            f.write("H01:LMLMLMLM\r\n");
    }
    qint64 mostEvents = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        TearDown();
        dialogs.messages.clear();
        dialogs.fileRequests.clear();
        dialogs.fileAnswers.clear();
        ASSERT_NO_FATAL_FAILURE(startTool());
        const qsizetype base = peer->received.size();
        qsizetype span = 0;
        switch (under) {
        case Under::Download:
            span = 8 * 14;
            clickLater("writefirst");
            break;
        case Under::StatusReads:
            span = 2 * 8; // the relays, then the inputs
            clickLater("Command1");
            break;
        case Under::FileSending:
            span = 250 * 14;
            dialogs.fileAnswers << file;
            button("CmdSelectFile")->click();
            clickLater("CmdSendFile");
            break;
        }
        const qsizetype pullAt = base + qsizetype(rng() % span);
        peer->onBytes = [&] {
            if (peer->received.size() >= pullAt)
                QTimer::singleShot(0, peer.get(), [&] { peer->pull(); });
        };
        ASSERT_TRUE(stress::waitFor([&] { return peer->pulled(); }, 20000)) << "the peer never saw byte " << pullAt;

        ASSERT_TRUE(stress::waitFor([&] { return portShownClosed() && buttonsFree(w.get(), {COMMAND_BUTTONS}); }, 15000))
            << "port shown closed " << portShownClosed() << ", messages: "
            << dialogs.texts().join(QLatin1Char('|')).toStdString();
        closeStatusWindow();
        const qint64 events = eventsOverTenParserTicks();
        ASSERT_GE(events, 0) << "the reply parser's timer stopped";
        EXPECT_LT(events, 1000) << "the program keeps the event loop busy after the line went";
        mostEvents = qMax(mostEvents, events);
    }
    std::printf("line pulled %d times: at most %lld events over ten parser ticks after it\n", rounds,
                static_cast<long long>(mostEvents));
    QFile::remove(file);
}

INSTANTIATE_TEST_SUITE_P(WindowStress, LinePulled,
                         ::testing::Values(Under::Download, Under::StatusReads, Under::FileSending),
                         [](const ::testing::TestParamInfo<Under> &i) {
                             switch (i.param) {
                             case Under::Download: return std::string("Download");
                             case Under::StatusReads: return std::string("StatusReads");
                             case Under::FileSending: return std::string("FileSending");
                             }
                             return std::string("Other");
                         });
