// kestrune-cli as scripts use it: the executable against the virtual board
// (every effect checked with the board's own state), against the libmodbus
// slave, and against a board that misbehaves.
#include "boardprocess.h"
#include "modbusslave.h"

#include "cli.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct CliRun
{
    int exit = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

QString cliPath()
{
    const QString env = qEnvironmentVariable("KESTRUNE_CLI");
    return env.isEmpty() ? QStringLiteral(KESTRUNE_CLI_DEFAULT) : env;
}

// A sample program: every step drives one output, so a stored step is seen.
const char *const kProgram = "kestrune-program 1\n"
                             "# test program\n"
                             "step 1  and X00 X01  or -  out Y00\n"
                             "step 2  and -  or X02 X03  out Y01\n"
                             "step 3  and X04  or -  out Y02\n"
                             "step 4  and -  or X05  out Y03\n"
                             "step 5  and X06  or X07  out Y04\n"
                             "step 6  and X00  or -  out Y05\n"
                             "step 7  and X01  or -  out Y06\n"
                             "step 8  and X07  or -  out Y07\n"
                             "name X00 = 启动\n";
const char *const kStored[8] = {"030001", "000c02", "100004", "002008", "408010", "010020", "020040", "800080"};

QString steps(const BoardProcess::State &s)
{
    QStringList out;
    for (const LogicStep &st : s.steps)
        out << QString::asprintf("%02x%02x%02x", st.andMask, st.orMask, st.outMask);
    return out.join(QLatin1Char(','));
}

class Cli : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    void startBoard(const QStringList &args = {})
    {
        board = std::make_unique<BoardProcess>(dir.filePath(QStringLiteral("ports/COM1")), args);
        ASSERT_TRUE(board->start()) << board->error().toStdString();
    }

    QStringList base() const { return {QStringLiteral("--settings"), dir.path(), QStringLiteral("--port"), QStringLiteral("COM1")}; }

    // Starts the CLI; events keep running while the test waits for it.
    std::unique_ptr<QProcess> start(const QStringList &args)
    {
        auto p = std::make_unique<QProcess>();
        p->start(cliPath(), base() + args);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }

    CliRun finish(QProcess &p, qint64 startedMs)
    {
        CliRun r;
        EXPECT_TRUE(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 60000));
        r.ms = clock.elapsed() - startedMs;
        r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    CliRun cli(const QStringList &args)
    {
        const qint64 t0 = clock.elapsed();
        auto p = start(args);
        return finish(*p, t0);
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QTemporaryDir dir;
    std::unique_ptr<BoardProcess> board;
    QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

QJsonObject json(const QString &line)
{
    return QJsonDocument::fromJson(line.trimmed().toUtf8()).object();
}

} // namespace

TEST_F(Cli, EveryCommandReachesTheBoard)
{
    startBoard();
    CliRun r = cli({QStringLiteral("search")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("address 33\n"));

    r = cli({QStringLiteral("relays"), QStringLiteral("on")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(board->state().written, 0xFF);
    r = cli({QStringLiteral("relays"), QStringLiteral("Y03=off"), QStringLiteral("Y00=off")});
    EXPECT_EQ(r.out, QStringLiteral("relays 0xF6\n"));
    EXPECT_EQ(board->state().written, 0xF6);
    r = cli({QStringLiteral("relays"), QStringLiteral("0x0f"), QStringLiteral("Y07=on")});
    EXPECT_EQ(board->state().written, 0x8F);

    ASSERT_EQ(board->command(QStringLiteral("inputs 0x81")), QStringLiteral("ok"));
    r = cli({QStringLiteral("--json"), QStringLiteral("status")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    const QJsonObject s = json(r.out);
    EXPECT_EQ(s.value(QStringLiteral("relays")).toInt(), 0x8F);
    EXPECT_EQ(s.value(QStringLiteral("inputs")).toInt(), 0x81);
    EXPECT_EQ(s.value(QStringLiteral("address")).toInt(), 33);
    EXPECT_TRUE(s.value(QStringLiteral("ok")).toBool());
    r = cli({QStringLiteral("status")});
    EXPECT_EQ(r.out, QStringLiteral("relays 0x8F  Y00 Y01 Y02 Y03 Y07\ninputs 0x81  X00 X07\n"));

    EXPECT_EQ(cli({QStringLiteral("report"), QStringLiteral("on")}).exit, 0);
    EXPECT_TRUE(board->state().report);
    EXPECT_EQ(cli({QStringLiteral("reset")}).exit, 0);
    EXPECT_EQ(board->state().written, 0x00);

    const QString program = writeFile(QStringLiteral("p.kprog"), kProgram);
    EXPECT_EQ(cli({QStringLiteral("program"), QStringLiteral("check"), program}).exit, 0);
    r = cli({QStringLiteral("program"), QStringLiteral("show"), program});
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("kestrune-program 1\n"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("step 2  and -  or X02 X03  out Y01\n")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("name X00 = 启动\n")));
    r = cli({QStringLiteral("program"), QStringLiteral("download"), program});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    // Eight steps, at least 250 ms apart.
    EXPECT_GE(r.ms, 7 * 250);
    QStringList expected;
    for (const char *st : kStored)
        expected << QLatin1String(st);
    EXPECT_EQ(steps(board->state()), expected.join(QLatin1Char(',')));

    r = cli({QStringLiteral("address"), QStringLiteral("7")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("address 7\n"));
    EXPECT_EQ(board->state().address, 7);
    EXPECT_EQ(cli({QStringLiteral("--address"), QStringLiteral("7"), QStringLiteral("status")}).exit, 0);
}

TEST_F(Cli, RefusesBadInputWithUsageStatus)
{
    const QString bad = writeFile(QStringLiteral("bad.kprog"), "kestrune-program 1\nstep 1 and - or - out Y00\nstep 2 and - or - out Y00\n");
    CliRun r = cli({QStringLiteral("program"), QStringLiteral("download"), bad});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("line 3: Y00 is already an output of step 1"))) << r.err.toStdString();
    r = cli({QStringLiteral("--json"), QStringLiteral("program"), QStringLiteral("check"), bad});
    EXPECT_EQ(json(r.out).value(QStringLiteral("line")).toInt(), 3);

    EXPECT_EQ(cli({QStringLiteral("frobnicate")}).exit, 2);
    EXPECT_EQ(cli({QStringLiteral("--parity"), QStringLiteral("sideways"), QStringLiteral("status")}).exit, 2);
    EXPECT_EQ(cli({QStringLiteral("relays"), QStringLiteral("Y09=on")}).exit, 2);
    EXPECT_EQ(cli({QStringLiteral("address"), QStringLiteral("0")}).exit, 2);

    // No device behind the port.
    r = cli({QStringLiteral("--port"), dir.filePath(QStringLiteral("no-such-device")), QStringLiteral("status")});
    EXPECT_EQ(r.exit, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no such device"))) << r.err.toStdString();
}

TEST(CliOpenFailure, NamesTheCauseAndWhatToTry)
{
    QTemporaryDir dir;
    const QString dev = dir.filePath(QStringLiteral("ttyX"));
    QFile(dev).open(QIODevice::WriteOnly);
    const cli::OpenFailure denied = cli::explainOpenFailure(QStringLiteral("COM1"), dev, QStringLiteral("Permission denied"), dir.path());
    EXPECT_EQ(denied.kind, QStringLiteral("permission"));
    EXPECT_TRUE(denied.message.contains(QStringLiteral("Permission denied")));
    EXPECT_TRUE(denied.hint.contains(QStringLiteral("dialout")));
    // Qt calls a port locked by another program a permission error.
    const cli::OpenFailure locked = cli::explainOpenFailure(
        QStringLiteral("COM1"), dev, QStringLiteral("Permission error while locking the device"), dir.path());
    EXPECT_EQ(locked.kind, QStringLiteral("busy"));
    // A dangling ports/COMn link is named.
    QDir(dir.path()).mkpath(QStringLiteral("ports"));
    QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("ports/COM2")));
    const cli::OpenFailure dangling = cli::explainOpenFailure(QStringLiteral("COM2"), QString(), QString(), dir.path());
    EXPECT_EQ(dangling.kind, QStringLiteral("no-device"));
    EXPECT_TRUE(dangling.message.contains(QStringLiteral("ports/COM2"))) << dangling.message.toStdString();
}

TEST_F(Cli, SilentBoardIsNoAnswerAfterEveryTry)
{
    startBoard({QStringLiteral("--silent")});
    const CliRun r = cli({QStringLiteral("--timeout"), QStringLiteral("150"), QStringLiteral("--retries"), QStringLiteral("1"),
                       QStringLiteral("status")});
    EXPECT_EQ(r.exit, 1);
    EXPECT_GE(r.ms, 2 * 150);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no answer from address 33 (read relays), 2 tries"))) << r.err.toStdString();
    EXPECT_EQ(board->state().frames, 2); // both tries reached the board
}

TEST_F(Cli, CorruptAnswersAreWrongAnswers)
{
    startBoard({QStringLiteral("--corrupt-crc")});
    const CliRun r = cli({QStringLiteral("--json"), QStringLiteral("status")});
    EXPECT_EQ(r.exit, 4);
    EXPECT_EQ(json(r.out).value(QStringLiteral("error")).toString(), QStringLiteral("crc"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("CRC"))) << r.err.toStdString();
}

TEST_F(Cli, NoiseInFrontOfAnswersIsSkipped)
{
    startBoard({QStringLiteral("--noise")});
    ASSERT_EQ(board->command(QStringLiteral("relays 0x5a")), QStringLiteral("ok"));
    CliRun r = cli({QStringLiteral("status")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("relays 0x5A"))) << r.out.toStdString();
    r = cli({QStringLiteral("search")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
}

TEST_F(Cli, LateAnswersNeedALongerTimeout)
{
    startBoard({QStringLiteral("--delay"), QStringLiteral("400")});
    CliRun r = cli({QStringLiteral("--timeout"), QStringLiteral("100"), QStringLiteral("--retries"), QStringLiteral("0"),
                 QStringLiteral("status")});
    EXPECT_EQ(r.exit, 1);
    r = cli({QStringLiteral("--timeout"), QStringLiteral("2000"), QStringLiteral("--retries"), QStringLiteral("0"),
             QStringLiteral("relays"), QStringLiteral("0x42")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(board->state().written, 0x42);
}

TEST_F(Cli, BoardVanishingDuringADownloadEndsItAfterWholeFrames)
{
    startBoard();
    const QString program = writeFile(QStringLiteral("p.kprog"), kProgram);
    const qint64 t0 = clock.elapsed();
    auto p = start({QStringLiteral("program"), QStringLiteral("download"), program});
    // Once the second step is stored the board goes away.
    ASSERT_TRUE(QTest::qWaitFor([&] { return board->state().steps[1].outMask != 0; }, 20000));
    ASSERT_EQ(board->command(QStringLiteral("vanish")), QStringLiteral("ok"));
    const CliRun r = finish(*p, t0);
    EXPECT_EQ(r.exit, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("port"))) << r.err.toStdString();

    // What the board took is a run of whole step frames from step 1 on.
    const BoardProcess::State s = board->state();
    int stored = 0;
    while (stored < 8 && steps(s).split(QLatin1Char(',')).at(stored) == QLatin1String(kStored[stored]))
        ++stored;
    EXPECT_GE(stored, 2);
    for (int i = stored; i < 8; ++i)
        EXPECT_EQ(steps(s).split(QLatin1Char(',')).at(i), QStringLiteral("000000"));
    EXPECT_EQ(s.frames, stored);
}

TEST_F(Cli, ScanFindsEveryBoardOnTheLine)
{
    startBoard({QStringLiteral("--address"), QStringLiteral("3,7,20")});
    ASSERT_EQ(board->command(QStringLiteral("relays 0x11")), QStringLiteral("ok")); // the first board's relays
    const CliRun r = cli({QStringLiteral("--timeout"), QStringLiteral("300"), QStringLiteral("--json"), QStringLiteral("scan"),
                          QStringLiteral("1"), QStringLiteral("21")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    QList<int> found;
    for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject o = json(line);
        EXPECT_TRUE(o.value(QStringLiteral("ok")).toBool());
        found << o.value(QStringLiteral("address")).toInt();
        if (found.last() == 3) {
            EXPECT_EQ(o.value(QStringLiteral("relays")).toInt(), 0x11);
        }
    }
    EXPECT_EQ(found, (QList<int>{3, 7, 20}));

    // Each board keeps its own state.
    EXPECT_EQ(cli({QStringLiteral("--address"), QStringLiteral("20"), QStringLiteral("relays"), QStringLiteral("0x80")}).exit, 0);
    EXPECT_EQ(board->command(QStringLiteral("state 20")).contains(QStringLiteral("written=0x80")), true);
    EXPECT_EQ(board->state().written, 0x11);
}

TEST_F(Cli, MonitorPrintsFramesUntilInterrupted)
{
    startBoard();
    ASSERT_EQ(board->command(QStringLiteral("report on")), QStringLiteral("ok"));
    const qint64 t0 = clock.elapsed();
    auto p = start({QStringLiteral("monitor")});
    // The monitor says on standard error when it listens.
    ASSERT_TRUE(QTest::qWaitFor([&] { return p->readAllStandardError().contains("monitoring"); }, 10000));
    ASSERT_EQ(board->command(QStringLiteral("input 0 on")), QStringLiteral("ok"));
    QByteArray out;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        out += p->readAllStandardOutput();
        return out.contains('\n');
    }, 10000));
    EXPECT_TRUE(out.contains("21 02 01 01")) << out.constData();
    EXPECT_TRUE(out.contains("input states 0x01, address 33")) << out.constData();
    p->terminate();
    const CliRun r = finish(*p, t0);
    EXPECT_EQ(r.exit, 0);
}

TEST_F(Cli, PortsShowsTheLinkedDevice)
{
    startBoard();
    const CliRun r = cli({QStringLiteral("ports")});
    EXPECT_EQ(r.exit, 0);
    const QString first = r.out.section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(first.startsWith(QStringLiteral("COM1  ") + dir.filePath(QStringLiteral("ports/COM1")) + QStringLiteral(" -> ")
                                 + board->devicePath()))
        << first.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 15);
}

TEST_F(Cli, StatusAndRelayWritesLandInALibmodbusSlave)
{
    ModbusSlave slave(33);
    ASSERT_TRUE(slave.start()) << slave.error().toStdString();
    ASSERT_TRUE(slave.linkAs(dir.path(), 1));
    slave.setCoils(0x5A);
    slave.setDiscreteInputs(0x81);
    CliRun r = cli({QStringLiteral("status")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("relays 0x5A  Y01 Y03 Y04 Y06\ninputs 0x81  X00 X07\n"));
    r = cli({QStringLiteral("relays"), QStringLiteral("0x3c")});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(slave.coils(), 0x3C);
    r = cli({QStringLiteral("relays"), QStringLiteral("Y07=on")});
    EXPECT_EQ(slave.coils(), 0xBC);
    EXPECT_EQ(cli({QStringLiteral("report"), QStringLiteral("on")}).exit, 0);
    EXPECT_EQ(slave.holdingRegister(0x1370), 1);
}
