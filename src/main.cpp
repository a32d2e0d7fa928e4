#include "app/relay.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char *argv[])
{
    // Answered before any window system is needed, so it works without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kestrune %s\n", KESTRUNE_VERSION);
        return 0;
    }
#ifdef __GLIBC__
    // The window stays open for hours, and a burst of received text passes
    // buffers of several megabytes through it. glibc would raise its
    // thresholds to the largest buffer freed and then keep that much in its
    // heap after the burst; fixed thresholds give it back to the system.
    // Buffers below a megabyte (a read's text, a frame's) stay in the heap
    // and are used again without a system call.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 2 * 1024 * 1024);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrune"));
    QApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
    // Ties the window to kestrune.desktop (its icon and name in the task bar on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrune"));
    relay window(relay::Options{});
    if (QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.Form_Load();
    if (window.isQuitting())
        return 0;
    window.show();
    return app.exec();
}
