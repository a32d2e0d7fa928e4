// kestrune-board: plays the relay board on a pseudo-terminal.
#include "boarddevice.h"
#include "boardwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// A termination signal ends the event loop, so the link is removed on the
// way out as on "quit".
void quitOnSignals(QObject *parent)
{
    if (::pipe(g_signalPipe) != 0)
        return;
    ::fcntl(g_signalPipe[0], F_SETFL, O_NONBLOCK);
    auto *n = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(n, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void printOut(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Reads command lines from standard input without blocking; end of input ends
// the board.
class StdinCommands : public QObject
{
public:
    explicit StdinCommands(board::BoardDevice &device) : m_device(device), m_notifier(0, QSocketNotifier::Read)
    {
        ::fcntl(0, F_SETFL, ::fcntl(0, F_GETFL) | O_NONBLOCK);
        connect(&m_notifier, &QSocketNotifier::activated, this, &StdinCommands::onReadable);
    }

private:
    void onReadable()
    {
        char buf[512];
        for (;;) {
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n > 0) {
                m_pending.append(buf, int(n));
                continue;
            }
            if (n == 0) { // end of input
                m_notifier.setEnabled(false);
                QCoreApplication::quit();
            }
            break;
        }
        for (int nl = m_pending.indexOf('\n'); nl >= 0; nl = m_pending.indexOf('\n')) {
            const QString line = QString::fromLocal8Bit(m_pending.left(nl)).trimmed();
            m_pending.remove(0, nl + 1);
            if (line.isEmpty())
                continue;
            bool quit = false;
            printOut(board::runCommand(m_device, line, &quit));
            if (quit) {
                m_notifier.setEnabled(false);
                QCoreApplication::quit();
                return;
            }
        }
    }

    board::BoardDevice &m_device;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

bool hasArg(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const bool headless = hasArg(argc, argv, "--headless") || hasArg(argc, argv, "--help")
        || hasArg(argc, argv, "-h") || hasArg(argc, argv, "--version");
    std::unique_ptr<QCoreApplication> app(headless ? new QCoreApplication(argc, argv) : new QApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("kestrune-board"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Plays the Kestrune relay board (MODBUS RTU, 8 inputs, 8 relays, 8 program steps)\n"
        "on a pseudo-terminal. Prints the device path on the first line of its output."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Link the device at PATH (e.g. <settings>/ports/COM1); removed on exit."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Board address 1..255 (default 33). Several, e.g. 3,7,20, put as "
                                                    "many boards on the line; the first one is shown and commanded."),
                                     QStringLiteral("N[,N...]"), QStringLiteral("33"));
    const QCommandLineOption headlessOpt(QStringLiteral("headless"),
                                         QStringLiteral("No window; commands on standard input (listed below)."));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Send nothing."));
    const QCommandLineOption corrupt(QStringLiteral("corrupt-crc"), QStringLiteral("Send every answer with a wrong CRC."));
    const QCommandLineOption noise(QStringLiteral("noise"), QStringLiteral("Send stray bytes in front of every answer."));
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Send everything MS milliseconds late."),
                                   QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption twin(QStringLiteral("twin"),
                                  QStringLiteral("A second board at the first address: their answers collide."));
    const QCommandLineOption ownLine(QStringLiteral("line"),
                                     QStringLiteral("Answer only while the program set this baud rate and parity "
                                                    "(N, O or E) on the line, e.g. 19200,N."),
                                     QStringLiteral("BAUD,PARITY"));
    p.addOptions({help, link, address, headlessOpt, silent, corrupt, noise, delay, twin, ownLine});
    p.addVersionOption();
    p.process(*app);

    if (p.isSet(help)) {
        printOut(p.helpText() + QLatin1Char('\n') + board::programHelp() + QLatin1Char('\n') + board::commandHelp());
        return 0;
    }
    bool ok = false;
    QList<int> addresses;
    for (const QString &a : p.value(address).split(QLatin1Char(','))) {
        const int addr = a.trimmed().toInt(&ok);
        if (!ok || addr < 1 || addr > 255 || addresses.contains(addr)) {
            std::fputs("kestrune-board: --address takes 1..255, or several different ones separated by commas\n", stderr);
            return 2;
        }
        addresses << addr;
    }
    const int delayMs = p.value(delay).toInt(&ok);
    if (!ok || delayMs < 0 || delayMs > 60000) {
        std::fputs("kestrune-board: --delay takes 0..60000\n", stderr);
        return 2;
    }

    board::BoardDevice device;
    device.model().setAddress(uint8_t(addresses.at(0)));
    for (int a : addresses.mid(1))
        device.addBoard(uint8_t(a));
    board::Misbehaviour m;
    m.silent = p.isSet(silent);
    m.corrupt = p.isSet(corrupt);
    m.noise = p.isSet(noise);
    m.delayMs = delayMs;
    device.setMisbehaviour(m);
    device.setTwin(p.isSet(twin));
    if (p.isSet(ownLine)) {
        const QStringList parts = p.value(ownLine).split(QLatin1Char(','));
        const int baud = parts.value(0).toInt(&ok);
        const QString parity = parts.value(1, QStringLiteral("N")).trimmed().toUpper();
        if (!ok || baud <= 0 || parity.size() != 1 || !QStringLiteral("NOE").contains(parity)) {
            std::fputs("kestrune-board: --line takes BAUD,PARITY, e.g. 19200,N\n", stderr);
            return 2;
        }
        device.setOwnLine(baud, parity.at(0).toLatin1());
    }

    if (!device.transport().open()) {
        std::fprintf(stderr, "kestrune-board: no pseudo-terminal: %s\n", qPrintable(device.transport().errorString()));
        return 1;
    }
    if (p.isSet(link) && !device.transport().linkAt(p.value(link))) {
        std::fprintf(stderr, "kestrune-board: %s\n", qPrintable(device.transport().errorString()));
        return 1;
    }
    printOut(device.transport().slavePath());
    quitOnSignals(app.get());

    std::unique_ptr<StdinCommands> commands;
    std::unique_ptr<board::BoardWindow> window;
    if (headless) {
        commands = std::make_unique<StdinCommands>(device);
        const bool several = device.boards().size() > 1;
        for (board::BoardModel *b : device.boards()) {
            QObject::connect(b, &board::BoardModel::frameSeen, [b, several](const QByteArray &f, const QString &what) {
                const QString who = several ? QStringLiteral("[%1] ").arg(b->address()) : QString();
                std::fprintf(stderr, "<- %s%s  %s\n", qPrintable(who), qPrintable(board::hexBytes(f)), qPrintable(what));
            });
        }
    } else {
        window = std::make_unique<board::BoardWindow>(device);
        window->show();
    }
    const int rc = app->exec();
    window.reset();
    device.transport().close();
    return rc;
}
