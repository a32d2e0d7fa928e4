#include "board/sleep2.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

bool Sleep2(qint32 ms, SleepGate *gate)
{
    QPointer<SleepGate> g(gate);
    if (g && g->isAborted())
        return false;
    if (ms <= 0)
        return true;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = qint64(ms) - clock.elapsed();
        if (left <= 0)
            return true;
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (g)
            QObject::connect(g.data(), &SleepGate::aborted, &loop, &QEventLoop::quit);
        deadline.start(int(left));
        loop.exec();
        if (g && g->isAborted())
            return false;
    }
}
