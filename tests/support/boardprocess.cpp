#include "boardprocess.h"

#include <QTest>

BoardProcess::BoardProcess(QString linkPath, QStringList extraArgs)
    : m_link(std::move(linkPath)), m_args(std::move(extraArgs))
{
    // The board's log of frames goes to its standard error; tests do not need it.
    m_proc.setStandardErrorFile(QProcess::nullDevice());
}

BoardProcess::~BoardProcess()
{
    if (running() && !quit(3000)) {
        m_proc.kill();
        m_proc.waitForFinished(3000);
    }
}

QString BoardProcess::executable()
{
    const QString fromEnv = qEnvironmentVariable("KESTRUNE_BOARD");
#ifdef KESTRUNE_BOARD_DEFAULT
    if (fromEnv.isEmpty())
        return QStringLiteral(KESTRUNE_BOARD_DEFAULT);
#endif
    return fromEnv;
}

bool BoardProcess::start(int timeoutMs)
{
    const QString exe = executable();
    if (exe.isEmpty()) {
        m_error = QStringLiteral("KESTRUNE_BOARD is not set");
        return false;
    }
    QStringList args{QStringLiteral("--headless")};
    if (!m_link.isEmpty())
        args << QStringLiteral("--link") << m_link;
    args << m_args;
    m_proc.start(exe, args);
    if (!m_proc.waitForStarted(timeoutMs)) {
        m_error = m_proc.errorString();
        return false;
    }
    m_device = readLine(timeoutMs);
    if (m_device.isEmpty()) {
        m_error = QStringLiteral("no device path from the board");
        return false;
    }
    return true;
}

QString BoardProcess::readLine(int timeoutMs)
{
    if (!QTest::qWaitFor([&] { return m_proc.canReadLine() || m_proc.state() != QProcess::Running; }, timeoutMs))
        return QString();
    if (!m_proc.canReadLine())
        return QString();
    return QString::fromLocal8Bit(m_proc.readLine()).trimmed();
}

QString BoardProcess::command(const QString &line, int timeoutMs)
{
    if (!running())
        return QString();
    m_proc.write((line + QLatin1Char('\n')).toLocal8Bit());
    return readLine(timeoutMs);
}

bool BoardProcess::quit(int timeoutMs)
{
    if (!running())
        return true;
    m_proc.write("quit\n");
    m_proc.closeWriteChannel();
    return QTest::qWaitFor([&] { return m_proc.state() == QProcess::NotRunning; }, timeoutMs);
}

BoardProcess::State BoardProcess::state()
{
    return parseState(command(QStringLiteral("state")));
}

BoardProcess::State BoardProcess::parseState(const QString &line)
{
    State s;
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words[0] != QLatin1String("state"))
        return s;
    int found = 0;
    for (const QString &w : words.mid(1)) {
        const int eq = w.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = w.left(eq), value = w.mid(eq + 1);
        bool ok = false;
        if (key == QLatin1String("address"))
            s.address = value.toInt(&ok);
        else if (key == QLatin1String("relays"))
            s.relays = uint8_t(value.toInt(&ok, 16));
        else if (key == QLatin1String("written"))
            s.written = uint8_t(value.toInt(&ok, 16));
        else if (key == QLatin1String("inputs"))
            s.inputs = uint8_t(value.toInt(&ok, 16));
        else if (key == QLatin1String("report"))
            s.report = value == QLatin1String("on"), ok = true;
        else if (key == QLatin1String("frames"))
            s.frames = value.toLongLong(&ok);
        else if (key == QLatin1String("line"))
            s.lineOpen = value == QLatin1String("open"), ok = true;
        else if (key == QLatin1String("steps")) {
            const QStringList steps = value.split(QLatin1Char(','));
            ok = steps.size() == 8;
            for (int i = 0; ok && i < 8; ++i) {
                const uint v = steps[i].toUInt(&ok, 16);
                s.steps[i] = LogicStep{uint8_t(i + 1), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            }
        }
        if (ok)
            ++found;
    }
    s.valid = found == 8;
    return s;
}
