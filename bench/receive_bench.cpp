// Receive throughput of the main window over a pseudo-terminal.
//
// A writer thread pushes bytes into the master side of a pty; the window opens
// the slave side through ports/COM1 with its real serial port and receives
// them on the UI thread, once with hexadecimal display and once as text. Each
// run prints the received bytes per second, the longest stall of the UI
// thread (the longest time between two turns of its event loop, which is how
// long a key press or a click would wait), the longest gap between the ticks
// of a 5 ms timer (Qt runs timers late while a stream keeps the loop busy),
// the CPU time of the program (the writer thread's own time taken out) per
// megabyte and as a share of a core, and resident memory.
//
// The stream floods (the writer keeps the pty full) or is paced like a serial
// line (--rate: a small write every 5 ms). A paced run measures CPU, so the
// event-loop probe (which never lets the loop sleep) is off and the timer
// ticks every 50 ms; the longest gap beyond that is its stall. The window is drawn offscreen, or
// by a real X server with --platform xcb (under Xvfb: DISPLAY set).
#include "app/dialogs.h"
#include "app/relay.h"
#include "protocol/replystream.h"
#include "terminal/receivepane.h"
#include "terminal/trafficcounters.h"
#include "serial/serialport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
constexpr double kGoalBytesPerSecond = 1.2e6;
constexpr qint64 kGoalStallMs = 50;
constexpr qint64 kGrowthLimitKb = 16 * 1024;

const char kUsage[] =
    "usage: %s [--mib N | --kib N] [--rate BYTES_PER_S] [--seconds S] [--mode hex|text|both]\n"
    "          [--platform offscreen|xcb] [--narrow] [--auto-clear]\n"
    "Sends N MiB (default 8) or N KiB through the main window's receive path over a pty, with\n"
    "hexadecimal display and as text (--mode picks one), each run stopped after S seconds (default\n"
    "10, or the paced duration plus 10). --rate paces the stream (11520 is 115200 baud) with a\n"
    "write every 5 ms; without it the writer floods. --platform picks the window system (default\n"
    "offscreen, or QT_QPA_PLATFORM); xcb needs an X server (Xvfb). --auto-clear ticks the receive\n"
    "box's automatic clearing. The window is widened to 1800 pixels so that the receive box is on\n"
    "screen and painted; --narrow keeps the opening width (the box out of view).\n"
    "Goal per run: at least 1.2 MB/s (paced: 90%% of the rate), no UI stall over 50 ms, and the RSS\n"
    "peak of the second half of the run at most 16 MiB above that of the first half.\n"
    "Exit status: 0 goal met, 1 goal missed, 2 setup failed.\n";

// Message boxes are printed, never shown.
struct PrintDialogs : Dialogs
{
    void message(const QString &, const QString &text, Icon) override { std::printf("message: %s\n", qPrintable(text)); }
    std::optional<QString> file(const FileRequest &) override { return std::nullopt; }
};

// One field of /proc/self/status in kB, -1 when missing.
qint64 statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// About one MiB of what a run sends: random bytes, or lines of printable
// ASCII with GBK double-byte characters and CR LF line ends.
QByteArray makePattern(bool hex)
{
    std::mt19937 rng(hex ? 1 : 2);
    QByteArray out;
    while (out.size() < (1 << 20) - 256) {
        for (int i = 0, len = 20 + int(rng() % 100); i < len; ++i) {
            if (hex) {
                out.append(char(rng() & 0xFF));
            } else if (rng() % 8 == 0) { // a hanzi from the GB2312 rows
                out.append(char(0xB0 + rng() % 0x28));
                out.append(char(0xA1 + rng() % 0x5E));
            } else {
                out.append(char(0x20 + rng() % 0x5F));
            }
        }
        if (!hex)
            out.append("\r\n");
    }
    return out;
}

// Measures the turns of the event loop: a posted event that posts itself
// again is delivered once per turn, after whatever else that turn ran.
class LoopProbe : public QObject
{
public:
    explicit LoopProbe(const QElapsedTimer &clock) : m_clock(clock) {}
    void start()
    {
        m_running = true;
        m_last = m_clock.elapsed();
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }
    void stop() { m_running = false; }
    qint64 longest() const { return m_longest; }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        const qint64 now = m_clock.elapsed();
        m_longest = qMax(m_longest, now - m_last);
        m_last = now;
        if (m_running)
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        return true;
    }

private:
    const QElapsedTimer &m_clock;
    bool m_running = false;
    qint64 m_last = 0, m_longest = 0;
};

// CPU time (user and system) in seconds, of the process or of the calling thread.
double cpuSeconds(int who)
{
    rusage u{};
    if (::getrusage(who, &u) != 0)
        return 0;
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result
{
    qint64 bytes = 0, events = 0, maxGapMs = 0, maxStallMs = 0;
    double seconds = 0, cpu = 0, writerCpu = 0, rate = 0;
    qint64 rssBeforeKb = 0, rssAfterKb = 0, peakFirstKb = 0, peakSecondKb = 0, hwmKb = 0;
    qsizetype boxChars = 0, tempstatusChars = 0;
};

Result runOnce(relay &w, int master, bool hex, qint64 target, int limitSeconds, double pace)
{
    w.findChild<QCheckBox *>(QStringLiteral("ChkHexReceive"))->setChecked(hex);
    w.receivePane()->CmdClearReceive_Click();
    QCoreApplication::processEvents();
    const QByteArray pattern = makePattern(hex);

    Result r;
    r.rssBeforeKb = statusKb("VmRSS");
    // Resets VmHWM to the current RSS, so that the run reports its own peak.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();

    const qint64 rx0 = w.counters()->RxTotal();
    r.rate = pace;
    std::atomic<bool> stop{false};
    std::atomic<double> writerCpu{0};
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    // Runs after the window's own handler: connections are called in order.
    QObject::connect(w.MSComm, &SerialPort::OnComm, &loop, [&] {
        if (w.MSComm->commEvent() != SerialPort::comEvReceive)
            return;
        ++r.events;
        if (w.counters()->RxTotal() - rx0 >= target) {
            r.seconds = clock.nsecsElapsed() / 1e9;
            loop.quit();
        }
    });
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    // A paced run measures CPU: the loop probe (which keeps the event loop
    // turning) is off, and the timer ticks every 50 ms; its longest gap is
    // the stall.
    const bool paced = pace > 0;
    ticker.setInterval(paced ? 50 : 5);
    qint64 lastTick = 0;
    int ticks = 0;
    std::vector<qint64> rssSamples; // every tenth tick
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.elapsed();
        r.maxGapMs = qMax(r.maxGapMs, now - lastTick);
        lastTick = now;
        if (paced || ++ticks % 10 == 0)
            rssSamples.push_back(statusKb("VmRSS"));
        if (now > limitSeconds * 1000) {
            r.seconds = clock.nsecsElapsed() / 1e9;
            loop.quit();
        }
    });
    ticker.start();
    LoopProbe probe(clock);
    if (!paced)
        probe.start();

    // The pty buffer is small: the writer waits whenever the window lags.
    std::thread writer([&] {
        const double ownCpu0 = cpuSeconds(RUSAGE_THREAD);
        qint64 written = 0;
        QElapsedTimer paced;
        paced.start();
        while (written < target && !stop.load()) {
            qint64 allowed = 4096;
            if (pace > 0) {
                // A serial line: what the rate allows by now, checked every 5 ms.
                allowed = qint64(pace * paced.nsecsElapsed() / 1e9) - written;
                if (allowed <= 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    continue;
                }
            }
            pollfd p{master, POLLOUT, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const qint64 offset = written % pattern.size();
            const qint64 n = std::min<qint64>({4096, allowed, pattern.size() - offset, target - written});
            const ssize_t done = ::write(master, pattern.constData() + offset, size_t(n));
            if (done > 0)
                written += done;
            else if (done < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
        writerCpu = cpuSeconds(RUSAGE_THREAD) - ownCpu0;
    });
    loop.exec();
    probe.stop();
    r.maxStallMs = paced ? qMax<qint64>(0, r.maxGapMs - 50) : probe.longest();
    stop = true;
    writer.join();
    ticker.stop();
    r.cpu = cpuSeconds(RUSAGE_SELF) - cpu0;
    r.writerCpu = writerCpu;

    r.bytes = w.counters()->RxTotal() - rx0;
    // Bounded memory: the second half of the run peaks no higher than the first.
    for (size_t i = 0; i < rssSamples.size(); ++i) {
        qint64 &peak = 2 * i < rssSamples.size() ? r.peakFirstKb : r.peakSecondKb;
        peak = qMax(peak, rssSamples[i]);
    }
    r.rssAfterKb = statusKb("VmRSS");
    r.hwmKb = statusKb("VmHWM");
    r.boxChars = w.findChild<QPlainTextEdit *>(QStringLiteral("TxtReceive"))->document()->characterCount() - 1;
    r.tempstatusChars = w.replies()->tempstatus.size();
    // What is still in the pty after a time-out is received now, not in the next run.
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return r;
}

bool report(const char *name, const Result &r)
{
    const double rate = r.seconds > 0 ? r.bytes / r.seconds : 0;
    const qint64 growth = r.peakSecondKb - r.peakFirstKb;
    const double goalRate = r.rate > 0 ? 0.9 * r.rate : kGoalBytesPerSecond;
    const bool ok = rate >= goalRate && r.maxStallMs <= kGoalStallMs && growth <= kGrowthLimitKb;
    const double own = qMax(0.0, r.cpu - r.writerCpu);
    std::printf("%s: CPU %.2f s (writer thread %.2f s): %.1f%% of a core, %.0f ms per MB\n", name, own, r.writerCpu,
                r.seconds > 0 ? 100 * own / r.seconds : 0.0, r.bytes > 0 ? 1000 * own / (r.bytes / 1e6) : 0.0);
    std::printf("%s: %lld bytes in %.3f s = %.0f bytes/s (%.2f MB/s), %lld receive events (%.0f bytes each)\n"
                "%s: longest UI stall %lld ms (longest gap between timer ticks: 5 ms, paced 50 ms %lld ms)\n"
                "%s: VmRSS before %lld kB, after %lld kB; peak first half %lld kB, second half %lld kB "
                "(growth %lld kB); VmHWM %lld kB\n"
                "%s: receive box %lld characters, tempstatus %lld characters; goal %s\n",
                name, (long long)r.bytes, r.seconds, rate, rate / 1e6, (long long)r.events,
                r.events ? double(r.bytes) / r.events : 0.0, name, (long long)r.maxStallMs, (long long)r.maxGapMs, name,
                (long long)r.rssBeforeKb, (long long)r.rssAfterKb, (long long)r.peakFirstKb,
                (long long)r.peakSecondKb, (long long)growth, (long long)r.hwmKb, name, (long long)r.boxChars,
                (long long)r.tempstatusChars, ok ? "met" : "MISSED");
    return ok;
}
} // namespace

int main(int argc, char *argv[])
{
    qint64 kib = 8 * 1024;
    int seconds = 0;
    double pace = 0;
    bool autoClear = false, narrow = false;
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    QByteArray mode = "both";
    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i], next = i + 1 < argc ? argv[i + 1] : "";
        const bool hasNumber = next.toInt() > 0;
        if (a == "--mib" && hasNumber)
            kib = next.toLongLong() * 1024, ++i;
        else if (a == "--kib" && hasNumber)
            kib = next.toLongLong(), ++i;
        else if (a == "--rate" && next.toDouble() > 0)
            pace = next.toDouble(), ++i;
        else if (a == "--platform" && (next == "offscreen" || next == "xcb"))
            platform = next, ++i;
        else if (a == "--narrow")
            narrow = true;
        else if (a == "--seconds" && hasNumber)
            seconds = next.toInt(), ++i;
        else if (a == "--mode" && (next == "hex" || next == "text" || next == "both"))
            mode = next, ++i;
        else if (a == "--auto-clear")
            autoClear = true;
        else
            return std::printf(kUsage, argv[0]), a == "--help" ? 0 : 2;
    }
    qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
    QApplication app(argc, argv);

    // The pty, raw, with one slave descriptor kept open so the line stays up.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return std::printf("no pseudo-terminal: %s\n", std::strerror(errno)), 2;
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    const int keepSlave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    if (keepSlave >= 0 && ::tcgetattr(keepSlave, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(keepSlave, TCSANOW, &t);
    }

    QTemporaryDir folder;
    const QDir dir(folder.path());
    QFile sysini(dir.filePath(QStringLiteral("sysini.txt")));
    if (!dir.mkpath(QStringLiteral("ports")) || !QFile::link(slave, dir.filePath(QStringLiteral("ports/COM1")))
        || !sysini.open(QIODevice::WriteOnly) || sysini.write("COM1\r\n9600\r\nNONE\r\n8\r\n1\r\n") < 0)
        return std::printf("cannot prepare the settings folder %s\n", qPrintable(folder.path())), 2;
    sysini.close();

    PrintDialogs dialogs;
    relay::Options o;
    o.settingsFolder = folder.path();
    o.dialogs = &dialogs;
    o.quitApplication = [] {};
    QElapsedTimer startUp;
    startUp.start();
    relay w(o);
    w.Form_Load();
    const qint64 startUpMs = startUp.elapsed();
    if (!w.MSComm->portOpen())
        return std::printf("the window did not open %s: %s\n", qPrintable(slave), qPrintable(w.MSComm->errorString())), 2;
    if (!narrow)
        w.resize(1800, 700); // the receive box reaches x = 1790
    w.show();
    w.findChild<QCheckBox *>(QStringLiteral("ChkAutoClear"))->setChecked(autoClear);
    QCoreApplication::processEvents();

    const qint64 target = kib << 10;
    if (seconds <= 0)
        seconds = pace > 0 ? int(target / pace) + 10 : 10;
    std::printf("receive benchmark: %lld KiB per run over %s, %s, %s, window %dx%d, auto-clear %s, start-up %lld ms\n",
                (long long)kib, qPrintable(slave), qPrintable(QGuiApplication::platformName()),
                pace > 0 ? qPrintable(QStringLiteral("paced at %1 bytes/s").arg(pace)) : "flood", w.width(),
                w.height(), autoClear ? "on" : "off", (long long)startUpMs);
    const bool hexOk = mode == "text" || report("hex", runOnce(w, master, true, target, seconds, pace));
    const bool textOk = mode == "hex" || report("text", runOnce(w, master, false, target, seconds, pace));
    std::printf("goal: at least 1.2 MB/s (paced: 90%% of the rate), no stall over %lld ms, bounded memory: %s\n", (long long)kGoalStallMs,
                hexOk && textOk ? "met" : "MISSED");
    ::close(master);
    if (keepSlave >= 0)
        ::close(keepSlave);
    return hexOk && textOk ? 0 : 1;
}
