#pragma once

#include "protocol/rtuclient.h"
#include "serial/openfailure.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>

class PortResolver;
class QtSerialPort;

namespace cli {

// Exit statuses.
enum Exit {
    Done = 0,
    NoAnswer = 1,
    Usage = 2,
    PortFailed = 3,
    WrongAnswer = 4,
};

// What the command line asked for, after the settings file filled in what it
// did not say.
struct Options
{
    QString settingsFolder;
    QString port = QStringLiteral("COM1"); // "COMn" or a device path
    int baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
    int address = 33;
    int timeoutMs = 0;     // 0: from the baud rate
    int retries = 2;
    bool retriesGiven = false;
    bool json = false;
    QStringList command;   // the command and its arguments
};

// Why a port did not open: one classifier for the tool and the window.
using ::OpenFailure;
using ::explainOpenFailure;

// Runs one command and returns its exit status. Output goes to stdout (text
// or one JSON object per result), messages to stderr.
class Runner
{
public:
    explicit Runner(Options options);
    ~Runner();
    int run();

private:
    int ports();
    int search();
    int scan();
    int status();
    int relays();
    int address();
    int reset();
    int report();
    int program();
    int monitor();

    int openPort();
    RtuResult transact(const RtuRequest &request);
    int failed(const RtuResult &result);
    int usage(const QString &message);
    void wait(int ms);

    void print(const QString &text, const QJsonObject &json);
    void message(const QString &text);

    Options m_o;
    std::shared_ptr<PortResolver> m_resolver;
    std::unique_ptr<QtSerialPort> m_port;
    std::unique_ptr<RtuClient> m_client;
    QString m_device;
    QString m_commandName;
};

// Parses argv into options; on a usage error returns false with the message.
bool parseArguments(const QStringList &arguments, Options *out, QString *error, bool *help, bool *version);

QString helpText();

} // namespace cli
