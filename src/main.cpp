#include "app/relay.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrune"));
    QApplication::setOrganizationName(QStringLiteral("Kestrune"));
    relay window(relay::Options{});
    if (QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.Form_Load();
    if (window.isQuitting())
        return 0;
    window.show();
    return app.exec();
}
