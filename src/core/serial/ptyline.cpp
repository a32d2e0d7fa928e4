#include "serial/ptyline.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

PtyLine PtyLine::open()
{
    PtyLine line;
#ifdef Q_OS_UNIX
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0) {
        line.error = QString::fromLocal8Bit(std::strerror(errno));
        return line;
    }
    const char *name = nullptr;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || !(name = ::ptsname(master))) {
        line.error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return line;
    }
    line.master = master;
    line.slavePath = QString::fromLocal8Bit(name);
    line.keepSlave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line.keepSlave >= 0) {
        termios t{};
        if (::tcgetattr(line.keepSlave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(line.keepSlave, TCSANOW, &t);
        }
    }
#else
    line.error = QStringLiteral("pseudo-terminals need a POSIX system");
#endif
    return line;
}

void PtyLine::close()
{
#ifdef Q_OS_UNIX
    if (master >= 0)
        ::close(master);
    if (keepSlave >= 0)
        ::close(keepSlave);
#endif
    master = keepSlave = -1;
}
