#include "app/relay.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrune"));
    QApplication::setOrganizationName(QStringLiteral("Kestrune"));
    relay window(relay::Options{});
    window.Form_Load();
    if (window.isQuitting())
        return 0;
    window.show();
    return app.exec();
}
