// kestrune-cli: the relay board from scripts, without the window.
#include "cli.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

#ifndef KESTRUNE_VERSION
#define KESTRUNE_VERSION "1.0"
#endif

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The same names as the window, so that the per-user settings folder is the same.
    QCoreApplication::setApplicationName(QStringLiteral("kestrune"));
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
    std::signal(SIGPIPE, SIG_IGN);

    cli::Options options;
    QString error;
    bool help = false, version = false;
    if (!cli::parseArguments(app.arguments(), &options, &error, &help, &version)) {
        std::fprintf(stderr, "kestrune-cli: %s\n", qPrintable(error));
        std::fprintf(stderr, "kestrune-cli: try kestrune-cli --help\n");
        return cli::Usage;
    }
    if (help) {
        std::fputs(cli::helpText().toUtf8().constData(), stdout);
        return cli::Done;
    }
    if (version) {
        std::printf("kestrune-cli %s\n", KESTRUNE_VERSION);
        return cli::Done;
    }
    cli::Runner runner(options);
    return runner.run();
}
