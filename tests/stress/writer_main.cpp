// Helper of the killed-mid-write stress test: writes a settings file or a
// names file over and over with the program's own writers, alternating two
// contents, until it is killed. Prints "writing" once the first write is done.
//
//   kestrune-stress-writer settings|names PATH
#include "stresswriter.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString kind = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[2]);
    for (long i = 0;; ++i) {
        if (!stresswriter::write(kind, path, i % 2 == 1))
            return 1;
        if (i == 0) {
            std::puts("writing");
            std::fflush(stdout);
        }
    }
}
