#include "cli.h"

#include "numbertext.h"
#include "logic/logicstep.h"
#include "logic/programfile.h"
#include "protocol/frames.h"
#include "serial/portresolver.h"
#include "serial/portsettings.h"
#include "serial/qtserialport.h"
#include "serial/openfailure.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSerialPortInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

// The host sees the line through its adapter: USB chips hand over received
// bytes every few milliseconds (16 ms on FTDI), so a pause shorter than this
// inside one answer is the adapter, not the end of a frame.
constexpr qint64 kHostGapUs = 20000;
// Program steps go out at least this far apart, as the window sends them.
constexpr int kStepPacingMs = 250;
// Time a board needs to take a new address before it answers at it.
constexpr int kNewAddressPauseMs = 200;
constexpr int kPortCount = 15;

void writeOut(const QString &line)
{
    const QByteArray b = line.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fflush(stdout);
}

void writeErr(const QString &line)
{
    const QByteArray b = line.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    std::fflush(stderr);
}

QString hex2(uint8_t v)
{
    return QStringLiteral("0x") + QString::number(v, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

QStringList onNames(uint8_t mask, QChar letter)
{
    QStringList out;
    for (int k = 0; k < 8; ++k)
        if (mask & (1u << k))
            out << signalName(letter, k);
    return out;
}

// Port number of "COMn", 0 when the text is not of that form.
int comNumber(const QString &text)
{
    if (!text.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return 0;
    bool ok = false;
    const int n = text.mid(3).toInt(&ok);
    return ok && n >= 1 && n <= 255 ? n : 0;
}

// Maps every port number to one device given by its path.
class DeviceResolver : public PortResolver
{
public:
    explicit DeviceResolver(const QString &device) : PortResolver(QString(), false), m_device(device) {}
    QString resolve(int) const override { return m_device; }
    QString describe(int) const override { return m_device; }

private:
    QString m_device;
};

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

QJsonObject errorJson(const QString &command, const QString &error, const QString &text)
{
    return QJsonObject{{QStringLiteral("command"), command},
                       {QStringLiteral("ok"), false},
                       {QStringLiteral("error"), error},
                       {QStringLiteral("message"), text}};
}

} // namespace

// ---------------------------------------------------------------- arguments

QString helpText()
{
    return QStringLiteral(
        "Usage: kestrune-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
        "Talks to the Kestrune relay board (MODBUS RTU over RS-485) without the window.\n"
        "\n"
        "Options:\n"
        "  --port COMn|DEVICE   port, as in the window (default: the last one in sysini.txt, else COM1)\n"
        "  --baud N             baud rate (default: sysini.txt, else 9600)\n"
        "  --parity none|even|odd|mark|space\n"
        "  --data 5..8          data bits (default 8)\n"
        "  --stop 1|1.5|2       stop bits (default 1; 1.5 is taken as 2, as in the window)\n"
        "  --address N          board address 0..255 (default 33)\n"
        "  --timeout MS         wait this long for each answer (default: the frame times + 200 ms)\n"
        "  --retries N          tries after the first one (default 2; scan: 0)\n"
        "  --settings DIR       settings folder holding sysini.txt and ports/ (default: the window's)\n"
        "  --json               one JSON object per result on standard output\n"
        "  -h, --help           this text\n"
        "  --version            the version\n"
        "\n"
        "Commands:\n"
        "  ports                      COM1..COM15 and the device each stands for\n"
        "  search                     broadcast search; prints the address that answers\n"
        "  scan [FROM [TO]]           reads the relays at every address (default 1..247);\n"
        "                             lists the boards that answer\n"
        "  status                     relays and inputs\n"
        "  relays on|off|BYTE|Yk=on|Yk=off ...\n"
        "                             writes the relays; Yk=... reads, changes and writes\n"
        "  address NEW                sets the address (broadcast, as the window's button),\n"
        "                             then checks that NEW answers\n"
        "  reset                      resets the board (relays off)\n"
        "  report on|off              switches the board's input reports\n"
        "  program check FILE         validates a program file (.kprog)\n"
        "  program show FILE          prints a program file\n"
        "  program download FILE      writes the eight steps, each confirmed, 250 ms apart\n"
        "  monitor                    prints every frame on the line until interrupted\n"
        "\n"
        "Exit status: 0 done, 1 no answer, 2 usage error or bad program file,\n"
        "3 the port cannot be opened or was lost, 4 a wrong answer (CRC, exception, bad echo).\n"
        "Messages go to standard error.\n");
}

bool parseArguments(const QStringList &arguments, Options *o, QString *error, bool *help, bool *version)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption portOpt(QStringLiteral("port"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"), QString(), QStringLiteral("N"));
    const QCommandLineOption parityOpt(QStringLiteral("parity"), QString(), QStringLiteral("P"));
    const QCommandLineOption dataOpt(QStringLiteral("data"), QString(), QStringLiteral("N"));
    const QCommandLineOption stopOpt(QStringLiteral("stop"), QString(), QStringLiteral("N"));
    const QCommandLineOption addressOpt(QStringLiteral("address"), QString(), QStringLiteral("N"));
    const QCommandLineOption timeoutOpt(QStringLiteral("timeout"), QString(), QStringLiteral("MS"));
    const QCommandLineOption retriesOpt(QStringLiteral("retries"), QString(), QStringLiteral("N"));
    const QCommandLineOption settingsOpt(QStringLiteral("settings"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption jsonOpt(QStringLiteral("json"), QString());
    const QCommandLineOption helpOpt({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption versionOpt(QStringLiteral("version"), QString());
    p.addOptions({portOpt, baudOpt, parityOpt, dataOpt, stopOpt, addressOpt, timeoutOpt, retriesOpt, settingsOpt,
                  jsonOpt, helpOpt, versionOpt});
    if (!p.parse(arguments)) {
        *error = p.errorText();
        return false;
    }
    *help = p.isSet(helpOpt);
    *version = p.isSet(versionOpt);
    o->json = p.isSet(jsonOpt);
    if (*help || *version)
        return true;

    o->settingsFolder = p.isSet(settingsOpt) ? p.value(settingsOpt) : defaultSettingsFolder();

    // The last settings of the window, as it reads them at start.
    QFile f(settingsFilePath(o->settingsFolder));
    if (f.open(QIODevice::ReadOnly)) {
        const SettingsFileContent c = parseSettingsFile(f.read(64 * 1024));
        PortBoxes boxes;
        if (c.complete) {
            boxes.com = *c.com();
            boxes.baud = c.baud();
            boxes.parity = *c.parity();
            boxes.data = c.dataBits();
            boxes.stop = c.stopBits();
            LineSettings ls;
            const auto ps = formPortSettings(boxes);
            if (ps && ps->port >= 1 && parseLineSettings(ps->settingsText(), &ls)) {
                o->port = QStringLiteral("COM%1").arg(ps->port);
                o->baud = ls.baud;
                o->parity = ls.parity;
                o->dataBits = ls.dataBits;
                o->stopBits = ls.stopBits;
            }
        }
    }

    int n = 0;
    if (p.isSet(portOpt)) {
        o->port = p.value(portOpt);
        if (o->port.isEmpty()) {
            *error = QStringLiteral("--port takes COMn or a device path");
            return false;
        }
        if (comNumber(o->port))
            o->port = QStringLiteral("COM%1").arg(comNumber(o->port));
    }
    if (p.isSet(baudOpt)) {
        bool ok = false;
        o->baud = p.value(baudOpt).toInt(&ok);
        if (!ok || o->baud < 50 || o->baud > 4000000) {
            *error = QStringLiteral("--baud takes a baud rate such as 9600");
            return false;
        }
    }
    if (p.isSet(parityOpt)) {
        static const QStringList words{QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd"),
                                       QStringLiteral("mark"), QStringLiteral("space")};
        const int i = words.indexOf(p.value(parityOpt).toLower());
        if (i < 0) {
            *error = QStringLiteral("--parity takes none, even, odd, mark or space");
            return false;
        }
        o->parity = "NEOMS"[i];
    }
    if (p.isSet(dataOpt)) {
        if (!numberFromText(p.value(dataOpt), 5, 8, &n)) {
            *error = QStringLiteral("--data takes 5 to 8");
            return false;
        }
        o->dataBits = n;
    }
    if (p.isSet(stopOpt)) {
        const QString s = p.value(stopOpt);
        if (s == QLatin1String("1"))
            o->stopBits = 1;
        else if (s == QLatin1String("1.5") || s == QLatin1String("2"))
            o->stopBits = 2; // the window rounds 1.5 to 2
        else {
            *error = QStringLiteral("--stop takes 1, 1.5 or 2");
            return false;
        }
    }
    if (p.isSet(addressOpt)) {
        if (!numberFromText(p.value(addressOpt), 0, 255, &n)) {
            *error = QStringLiteral("--address takes 0 to 255");
            return false;
        }
        o->address = n;
    }
    if (p.isSet(timeoutOpt)) {
        if (!numberFromText(p.value(timeoutOpt), 1, 600000, &n)) {
            *error = QStringLiteral("--timeout takes milliseconds, 1 to 600000");
            return false;
        }
        o->timeoutMs = n;
    }
    if (p.isSet(retriesOpt)) {
        if (!numberFromText(p.value(retriesOpt), 0, 100, &n)) {
            *error = QStringLiteral("--retries takes 0 to 100");
            return false;
        }
        o->retries = n;
        o->retriesGiven = true;
    }
    o->command = p.positionalArguments();
    if (o->command.isEmpty()) {
        *error = QStringLiteral("no command given (try --help)");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- runner

Runner::Runner(Options options) : m_o(std::move(options)) {}

Runner::~Runner()
{
    m_client.reset();
    if (m_port)
        m_port->setPortOpen(false);
}

void Runner::print(const QString &text, const QJsonObject &json)
{
    if (m_o.json)
        writeOut(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)));
    else if (!text.isNull())
        writeOut(text);
}

void Runner::message(const QString &text)
{
    writeErr(QStringLiteral("kestrune-cli: ") + text);
}

int Runner::usage(const QString &text)
{
    message(text);
    if (m_o.json)
        print(QString(), errorJson(m_commandName, QStringLiteral("usage"), text));
    return Usage;
}

void Runner::wait(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int Runner::run()
{
    const QString cmd = m_o.command.at(0).toLower();
    m_commandName = cmd;
    const int args = int(m_o.command.size()) - 1;
    if (cmd == QLatin1String("ports"))
        return args == 0 ? ports() : usage(QStringLiteral("ports takes no arguments"));
    if (cmd == QLatin1String("search"))
        return args == 0 ? search() : usage(QStringLiteral("search takes no arguments"));
    if (cmd == QLatin1String("scan"))
        return args <= 2 ? scan() : usage(QStringLiteral("usage: scan [FROM [TO]]"));
    if (cmd == QLatin1String("status"))
        return args == 0 ? status() : usage(QStringLiteral("status takes no arguments"));
    if (cmd == QLatin1String("relays"))
        return args >= 1 ? relays() : usage(QStringLiteral("usage: relays on|off|BYTE|Yk=on|Yk=off ..."));
    if (cmd == QLatin1String("address"))
        return args == 1 ? address() : usage(QStringLiteral("usage: address NEW"));
    if (cmd == QLatin1String("reset"))
        return args == 0 ? reset() : usage(QStringLiteral("reset takes no arguments"));
    if (cmd == QLatin1String("report"))
        return args == 1 ? report() : usage(QStringLiteral("usage: report on|off"));
    if (cmd == QLatin1String("program")) {
        if (args == 2)
            m_commandName = QStringLiteral("program ") + m_o.command.at(1).toLower();
        return args == 2 ? program() : usage(QStringLiteral("usage: program check|show|download FILE"));
    }
    if (cmd == QLatin1String("monitor"))
        return args == 0 ? monitor() : usage(QStringLiteral("monitor takes no arguments"));
    return usage(QStringLiteral("unknown command \"%1\" (try --help)").arg(m_o.command.at(0)));
}

int Runner::openPort()
{
    const int n = comNumber(m_o.port);
    if (n > 0)
        m_resolver = std::make_shared<PortResolver>(m_o.settingsFolder);
    else
        m_resolver = std::make_shared<DeviceResolver>(m_o.port);
    m_device = m_resolver->resolve(n > 0 ? n : 1);
    m_port = std::make_unique<QtSerialPort>(m_resolver);
    m_port->setCommPort(n > 0 ? n : 1);
    const QString settings = QStringLiteral("%1,%2,%3,%4")
                                 .arg(m_o.baud)
                                 .arg(QLatin1Char(m_o.parity))
                                 .arg(m_o.dataBits)
                                 .arg(m_o.stopBits);
    if (!m_port->setSettings(settings))
        return usage(QStringLiteral("invalid line settings %1").arg(settings));
    m_port->setRThreshold(1);
    if (!m_port->setPortOpen(true)) {
        const OpenFailure f = explainOpenFailure(m_o.port, m_device, m_port->errorString(), m_o.settingsFolder);
        message(f.message);
        message(f.hint);
        if (m_o.json) {
            QJsonObject j = errorJson(m_commandName, QStringLiteral("port"), f.message);
            j.insert(QStringLiteral("reason"), f.kind);
            j.insert(QStringLiteral("hint"), f.hint);
            print(QString(), j);
        }
        return PortFailed;
    }
    m_client = std::make_unique<RtuClient>(m_port.get());
    m_client->attachReceive();
    const int bits = 1 + m_o.dataBits + (m_o.parity == 'N' ? 0 : 1) + m_o.stopBits;
    m_client->setMinGapUs(kHostGapUs);
    m_client->setLine(m_o.baud, bits);
    m_client->setTimeoutMs(m_o.timeoutMs);
    m_client->setRetries(m_o.retries);
    return Done;
}

RtuResult Runner::transact(const RtuRequest &request)
{
    RtuReply *reply = m_client->send(request);
    if (!reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(reply, &RtuReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const RtuResult r = reply->result();
    delete reply;
    return r;
}

int Runner::failed(const RtuResult &r)
{
    QString hint;
    int code = WrongAnswer;
    switch (r.status) {
    case RtuResult::Ok:
        return Done;
    case RtuResult::NoAnswer:
        code = NoAnswer;
        hint = r.request.answer == RtuRequest::Answer::Search
            ? QStringLiteral("check the wiring (A/B), the baud rate and that the board is powered")
            : QStringLiteral("check the address (kestrune-cli search or scan), the baud rate and the wiring (A/B)");
        break;
    case RtuResult::CrcError:
        hint = QStringLiteral("check the baud rate and parity, the wiring and the terminator");
        break;
    case RtuResult::Exception:
        hint = QStringLiteral("the board does not take this request");
        break;
    case RtuResult::BadAnswer:
        hint = QStringLiteral("another device may answer at this address; try kestrune-cli scan");
        break;
    case RtuResult::PortError:
        code = PortFailed;
        hint = QStringLiteral("the adapter was unplugged or the device went away; plug it in and try again");
        break;
    }
    message(r.text());
    message(hint);
    if (m_o.json) {
        QJsonObject j = errorJson(m_commandName, RtuResult::statusName(r.status), r.text());
        j.insert(QStringLiteral("address"), int(r.request.address()));
        j.insert(QStringLiteral("attempts"), r.attempts);
        if (r.status == RtuResult::Exception)
            j.insert(QStringLiteral("exception"), r.exceptionCode);
        if (!r.answer.isEmpty())
            j.insert(QStringLiteral("answer"), QString::fromLatin1(r.answer.toHex(' ').toUpper()));
        j.insert(QStringLiteral("hint"), hint);
        print(QString(), j);
    }
    return code;
}

// ---------------------------------------------------------------- commands

int Runner::ports()
{
    const PortResolver resolver(m_o.settingsFolder);
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (int n = 1; n <= kPortCount; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        const QString dev = resolver.resolve(n);
        const QString target = dev.isEmpty() ? QString() : QFileInfo(dev).canonicalFilePath();
        const bool link = QFileInfo(QDir(m_o.settingsFolder).filePath(QStringLiteral("ports/") + name)).isSymLink();
        QSerialPortInfo info;
        for (const QSerialPortInfo &i : infos)
            if (!dev.isEmpty() && (i.systemLocation() == dev || i.systemLocation() == target))
                info = i;
        QString text = name + QStringLiteral("  ") + (dev.isEmpty() ? QStringLiteral("-") : dev);
        if (!target.isEmpty() && target != dev)
            text += QStringLiteral(" -> ") + target;
        if (!info.description().isEmpty())
            text += QStringLiteral("  ") + info.description();
        if (!info.serialNumber().isEmpty())
            text += QStringLiteral("  serial ") + info.serialNumber();
        QJsonObject j{{QStringLiteral("port"), name},
                      {QStringLiteral("device"), dev.isEmpty() ? QJsonValue() : QJsonValue(dev)},
                      {QStringLiteral("link"), link}};
        if (!target.isEmpty())
            j.insert(QStringLiteral("target"), target);
        if (!info.description().isEmpty())
            j.insert(QStringLiteral("description"), info.description());
        if (!info.serialNumber().isEmpty())
            j.insert(QStringLiteral("serial"), info.serialNumber());
        if (!info.manufacturer().isEmpty())
            j.insert(QStringLiteral("manufacturer"), info.manufacturer());
        print(text, j);
    }
    return Done;
}

int Runner::search()
{
    if (int rc = openPort())
        return rc;
    const RtuResult r = transact(RtuRequest::search());
    if (!r.ok())
        return failed(r);
    print(QStringLiteral("address %1").arg(r.value),
          QJsonObject{{QStringLiteral("command"), m_commandName}, {QStringLiteral("ok"), true},
                      {QStringLiteral("address"), int(r.value)}});
    return Done;
}

int Runner::scan()
{
    int from = 1, to = 247;
    if (m_o.command.size() > 1) {
        if (!numberFromText(m_o.command.at(1), 1, 255, &from))
            return usage(QStringLiteral("scan: FROM takes 1 to 255"));
        to = qMax(from, to);
    }
    if (m_o.command.size() > 2 && !numberFromText(m_o.command.at(2), from, 255, &to))
        return usage(QStringLiteral("scan: TO takes FROM to 255"));
    if (int rc = openPort())
        return rc;
    if (!m_o.retriesGiven)
        m_client->setRetries(0);
    int found = 0;
    for (int a = from; a <= to; ++a) {
        const RtuResult r = transact(RtuRequest::readRelays(uint8_t(a)));
        if (r.status == RtuResult::PortError)
            return failed(r);
        if (r.status == RtuResult::NoAnswer)
            continue;
        ++found;
        QJsonObject j{{QStringLiteral("command"), m_commandName}, {QStringLiteral("ok"), r.ok()},
                      {QStringLiteral("address"), a}};
        QString text = QStringLiteral("address %1").arg(a);
        if (r.ok()) {
            j.insert(QStringLiteral("relays"), int(r.value));
            text += QStringLiteral("  relays ") + hex2(r.value);
        } else {
            // Something answers there, but not as the board does.
            j.insert(QStringLiteral("error"), RtuResult::statusName(r.status));
            j.insert(QStringLiteral("message"), r.text());
            text += QStringLiteral("  answers wrongly: ") + r.text();
        }
        print(text, j);
    }
    if (found == 0) {
        const QString text = QStringLiteral("no board answered at addresses %1..%2").arg(from).arg(to);
        message(text);
        message(QStringLiteral("check the baud rate and parity, and the wiring (A/B)"));
        if (m_o.json)
            print(QString(), errorJson(m_commandName, QStringLiteral("no-answer"), text));
        return NoAnswer;
    }
    return Done;
}

int Runner::status()
{
    if (int rc = openPort())
        return rc;
    const uint8_t a = uint8_t(m_o.address);
    const RtuResult relays = transact(RtuRequest::readRelays(a));
    if (!relays.ok())
        return failed(relays);
    const RtuResult inputs = transact(RtuRequest::readInputs(a));
    if (!inputs.ok())
        return failed(inputs);
    const QStringList y = onNames(relays.value, QLatin1Char('Y')), x = onNames(inputs.value, QLatin1Char('X'));
    const QString text = QStringLiteral("relays %1  %2\ninputs %3  %4")
                             .arg(hex2(relays.value), y.isEmpty() ? QStringLiteral("-") : y.join(QLatin1Char(' ')),
                                  hex2(inputs.value), x.isEmpty() ? QStringLiteral("-") : x.join(QLatin1Char(' ')));
    print(text, QJsonObject{{QStringLiteral("command"), m_commandName},
                            {QStringLiteral("ok"), true},
                            {QStringLiteral("address"), int(a)},
                            {QStringLiteral("relays"), int(relays.value)},
                            {QStringLiteral("inputs"), int(inputs.value)},
                            {QStringLiteral("relaysOn"), QJsonArray::fromStringList(y)},
                            {QStringLiteral("inputsOn"), QJsonArray::fromStringList(x)}});
    return Done;
}

int Runner::relays()
{
    // Each word changes the byte to write, left to right; a single relay
    // before any whole byte needs the board's present relays first.
    struct Change
    {
        int whole = -1; // a whole byte, or -1
        int k = -1;     // a single relay
        bool on = false;
    };
    QList<Change> changes;
    bool needRead = false, haveWhole = false;
    for (const QString &w : m_o.command.mid(1)) {
        Change c;
        const QString lw = w.toLower();
        int v = 0;
        if (lw == QLatin1String("on"))
            c.whole = 0xFF;
        else if (lw == QLatin1String("off"))
            c.whole = 0x00;
        else if (numberFromText(w, 0, 255, &v))
            c.whole = v;
        else {
            const int eq = lw.indexOf(QLatin1Char('='));
            const QString name = lw.left(eq), value = lw.mid(eq + 1);
            if (eq == 3 && name.startsWith(QLatin1Char('y')) && name.at(1) == QLatin1Char('0') && name.at(2) >= QLatin1Char('0')
                && name.at(2) <= QLatin1Char('7') && (value == QLatin1String("on") || value == QLatin1String("off"))) {
                c.k = name.at(2).unicode() - '0';
                c.on = value == QLatin1String("on");
            } else {
                return usage(QStringLiteral("relays: \"%1\" is not on, off, a byte or Yk=on|off").arg(w));
            }
        }
        if (c.whole >= 0)
            haveWhole = true;
        else if (!haveWhole)
            needRead = true;
        changes << c;
    }
    if (int rc = openPort())
        return rc;
    const uint8_t a = uint8_t(m_o.address);
    uint8_t value = 0;
    if (needRead) {
        const RtuResult r = transact(RtuRequest::readRelays(a));
        if (!r.ok())
            return failed(r);
        value = r.value;
    }
    for (const Change &c : changes) {
        if (c.whole >= 0)
            value = uint8_t(c.whole);
        else if (c.on)
            value = uint8_t(value | (1u << c.k));
        else
            value = uint8_t(value & ~(1u << c.k));
    }
    const RtuResult w = transact(RtuRequest::writeRelays(a, value));
    if (!w.ok())
        return failed(w);
    print(QStringLiteral("relays %1").arg(hex2(value)),
          QJsonObject{{QStringLiteral("command"), m_commandName}, {QStringLiteral("ok"), true},
                      {QStringLiteral("address"), int(a)}, {QStringLiteral("relays"), int(value)}});
    return Done;
}

int Runner::address()
{
    int n = 0;
    if (!numberFromText(m_o.command.at(1), 1, 255, &n))
        return usage(QStringLiteral("address: NEW takes 1 to 255 (0 is the broadcast address)"));
    if (int rc = openPort())
        return rc;
    // A broadcast, as the window sends it: every board on the line takes it.
    m_client->setBroadcastPauseMs(kNewAddressPauseMs);
    const RtuResult set = transact(RtuRequest::setAddress(uint8_t(n)));
    if (!set.ok())
        return failed(set);
    const RtuResult check = transact(RtuRequest::readRelays(uint8_t(n)));
    if (!check.ok()) {
        if (check.status == RtuResult::NoAnswer)
            message(QStringLiteral("the new address was sent, but nothing answers at %1").arg(n));
        return failed(check);
    }
    print(QStringLiteral("address %1").arg(n),
          QJsonObject{{QStringLiteral("command"), m_commandName}, {QStringLiteral("ok"), true},
                      {QStringLiteral("address"), n}, {QStringLiteral("relays"), int(check.value)}});
    return Done;
}

int Runner::reset()
{
    if (int rc = openPort())
        return rc;
    const uint8_t a = uint8_t(m_o.address);
    const RtuResult r = transact(RtuRequest::reset(a));
    if (!r.ok())
        return failed(r);
    print(QStringLiteral("reset address %1").arg(a),
          QJsonObject{{QStringLiteral("command"), m_commandName}, {QStringLiteral("ok"), true},
                      {QStringLiteral("address"), int(a)}});
    return Done;
}

int Runner::report()
{
    const QString v = m_o.command.at(1).toLower();
    if (v != QLatin1String("on") && v != QLatin1String("off"))
        return usage(QStringLiteral("usage: report on|off"));
    const bool on = v == QLatin1String("on");
    if (int rc = openPort())
        return rc;
    const uint8_t a = uint8_t(m_o.address);
    const RtuResult r = transact(RtuRequest::inputReport(a, on));
    if (!r.ok())
        return failed(r);
    print(QStringLiteral("input reports %1").arg(v),
          QJsonObject{{QStringLiteral("command"), m_commandName}, {QStringLiteral("ok"), true},
                      {QStringLiteral("address"), int(a)}, {QStringLiteral("report"), on}});
    return Done;
}

int Runner::program()
{
    const QString sub = m_o.command.at(1).toLower();
    const QString path = m_o.command.at(2);
    if (sub != QLatin1String("check") && sub != QLatin1String("show") && sub != QLatin1String("download"))
        return usage(QStringLiteral("usage: program check|show|download FILE"));
    const programfile::Result file = programfile::load(path);
    if (!file.ok()) {
        const QString text = path + QStringLiteral(": ") + file.error.text();
        message(text);
        if (m_o.json) {
            QJsonObject j = errorJson(m_commandName, QStringLiteral("file"), text);
            j.insert(QStringLiteral("file"), path);
            if (file.error.line > 0)
                j.insert(QStringLiteral("line"), file.error.line);
            print(QString(), j);
        }
        return Usage;
    }
    const programfile::Program &p = file.program;

    auto stepJson = [](const LogicStep &s) {
        return QJsonObject{{QStringLiteral("step"), s.stepNo},
                           {QStringLiteral("and"), QJsonArray::fromStringList(onNames(s.andMask, QLatin1Char('X')))},
                           {QStringLiteral("or"), QJsonArray::fromStringList(onNames(s.orMask, QLatin1Char('X')))},
                           {QStringLiteral("out"), QJsonArray::fromStringList(onNames(s.outMask, QLatin1Char('Y')))}};
    };

    if (sub == QLatin1String("check")) {
        int used = 0;
        for (const LogicStep &s : p.steps)
            used += (s.andMask | s.orMask | s.outMask) ? 1 : 0;
        print(QStringLiteral("%1: ok, %2 of 8 steps used, %3 names").arg(path).arg(used).arg(p.nameCount()),
              QJsonObject{{QStringLiteral("command"), m_commandName}, {QStringLiteral("ok"), true},
                          {QStringLiteral("file"), path}, {QStringLiteral("stepsUsed"), used},
                          {QStringLiteral("names"), p.nameCount()}});
        return Done;
    }
    if (sub == QLatin1String("show")) {
        QByteArray text;
        if (programfile::Error e = programfile::format(p, &text))
            return usage(path + QStringLiteral(": ") + e.text());
        QJsonArray steps;
        for (const LogicStep &s : p.steps)
            steps.append(stepJson(s));
        QJsonObject names;
        for (int k = 0; k < 16; ++k)
            if (p.names[k])
                names.insert(programfile::ioName(k), *p.names[k]);
        QString shown = QString::fromUtf8(text);
        if (shown.endsWith(QLatin1Char('\n')))
            shown.chop(1);
        print(shown, QJsonObject{{QStringLiteral("command"), m_commandName}, {QStringLiteral("ok"), true},
                                 {QStringLiteral("file"), path}, {QStringLiteral("steps"), steps},
                                 {QStringLiteral("names"), names}});
        return Done;
    }

    if (int rc = openPort())
        return rc;
    const uint8_t a = uint8_t(m_o.address);
    QElapsedTimer pace;
    for (const LogicStep &s : p.steps) {
        if (pace.isValid())
            wait(kStepPacingMs - int(pace.elapsed()));
        pace.start();
        const RtuResult r = transact(RtuRequest::step(a, s));
        if (!r.ok()) {
            message(QStringLiteral("the download stopped at step %1; steps 1..%2 were written")
                        .arg(s.stepNo)
                        .arg(s.stepNo - 1));
            return failed(r);
        }
        if (m_o.json) {
            QJsonObject j = stepJson(s);
            j.insert(QStringLiteral("command"), m_commandName);
            j.insert(QStringLiteral("ok"), true);
            j.insert(QStringLiteral("address"), int(a));
            print(QString(), j);
        }
    }
    if (!m_o.json)
        print(QStringLiteral("program written to address %1: 8 steps").arg(a), QJsonObject());
    return Done;
}

int Runner::monitor()
{
    if (int rc = openPort())
        return rc;
    QEventLoop loop;
    int rc = Done;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(m_client.get(), &RtuClient::lineFrame, &loop, [this, &clock](const RtuFrame &f) {
        const double t = double(clock.nsecsElapsed()) / 1e9;
        const QString hex = QString::fromLatin1(f.bytes.toHex(' ').toUpper());
        QString kind, meaning;
        switch (f.kind) {
        case RtuFrame::Frame:
            kind = QStringLiteral("frame");
            meaning = describeRtuFrame(f.bytes);
            break;
        case RtuFrame::BadCrc:
            kind = QStringLiteral("bad-crc");
            meaning = QStringLiteral("CRC error: ") + describeRtuFrame(f.bytes);
            break;
        case RtuFrame::Noise:
            kind = QStringLiteral("noise");
            meaning = QStringLiteral("%1 bytes that form no frame").arg(f.bytes.size());
            break;
        }
        print(QStringLiteral("%1  %2  %3").arg(t, 0, 'f', 3).arg(hex, meaning),
              QJsonObject{{QStringLiteral("time"), t}, {QStringLiteral("kind"), kind},
                          {QStringLiteral("bytes"), hex}, {QStringLiteral("meaning"), meaning}});
    });
    QObject::connect(m_port.get(), &SerialPort::portLost, &loop, [this, &loop, &rc](const QString &reason) {
        message(QStringLiteral("the port was lost (%1)").arg(reason));
        message(QStringLiteral("the adapter was unplugged or the device went away"));
        if (m_o.json)
            print(QString(), errorJson(m_commandName, QStringLiteral("port"), reason));
        rc = PortFailed;
        loop.quit();
    });
    // An interrupt ends the monitor normally.
    if (::pipe(g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &loop);
        QObject::connect(notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGINT, &sa, nullptr);
        ::sigaction(SIGTERM, &sa, nullptr);
        ::sigaction(SIGHUP, &sa, nullptr);
    }
    message(QStringLiteral("monitoring %1 at %2 baud; Ctrl+C ends").arg(m_o.port).arg(m_o.baud));
    loop.exec();
    return rc;
}

} // namespace cli
