#include "serial/openfailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

OpenFailure explainOpenFailure(const QString &portName, const QString &device, const QString &reason,
                               const QString &settingsFolder)
{
    OpenFailure f;
    const QString what = device.isEmpty() || device == portName ? portName
                                                                : QStringLiteral("%1 (%2)").arg(portName, device);
    const QString why = reason.isEmpty() ? QString() : QStringLiteral("（%1）").arg(reason);
    const bool locked = reason.contains(QLatin1String("lock"), Qt::CaseInsensitive);
    const bool saysDenied = !locked && reason.contains(QLatin1String("ermission denied"), Qt::CaseInsensitive);
    const auto permission = [&] {
        f.kind = QStringLiteral("permission");
        f.message = QStringLiteral("cannot open %1: permission denied (%2)").arg(what, reason);
        f.hint = QStringLiteral("your user must be in the dialout group: sudo usermod -aG dialout \"$USER\", "
                                "then log out and in again");
        f.advice = QStringLiteral("无权打开%1%2：请把用户加入dialout组（sudo usermod -aG dialout $USER），"
                                  "然后重新登录")
                       .arg(what, why);
    };
    if (device.isEmpty() && !saysDenied && !locked) {
        f.kind = QStringLiteral("no-device");
        const QString link = QDir(settingsFolder).filePath(QStringLiteral("ports/") + portName);
        const QFileInfo li(link);
        if (li.isSymLink()) {
            f.message = QStringLiteral("cannot open %1: its link %2 points to %3, which does not exist")
                            .arg(portName, link, li.symLinkTarget());
            f.hint = QStringLiteral("plug the adapter in, or correct the link");
            f.advice = QStringLiteral("%1的链接%2指向的%3不存在：请插上串口适配器，或改正链接")
                           .arg(portName, link, li.symLinkTarget());
        } else {
            f.message = QStringLiteral("cannot open %1: there is no such port").arg(portName);
            f.hint = QStringLiteral("see which devices COM1..COM15 stand for with: kestrune-cli ports");
            f.advice = QStringLiteral("没有%1这个设备%2：请插上串口适配器（kestrune-cli ports 列出各串口）")
                           .arg(portName, why);
        }
        return f;
    }
    if (saysDenied) {
        permission();
        return f;
    }
    const QByteArray path = QFile::encodeName(device);
    const bool exists = QFileInfo::exists(device);
    const bool denied = exists && ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES && !locked;
    if (!exists && !locked) {
        f.kind = QStringLiteral("no-device");
        f.message = QStringLiteral("cannot open %1: no such device (%2)").arg(what, reason);
        f.hint = QStringLiteral("is the adapter plugged in? see: kestrune-cli ports");
        f.advice = QStringLiteral("%1不存在%2：请检查串口适配器是否插好").arg(what, why);
    } else if (denied) {
        permission();
    } else if (locked || reason.contains(QLatin1String("busy"), Qt::CaseInsensitive)
               || reason.contains(QLatin1String("in use"), Qt::CaseInsensitive)) {
        f.kind = QStringLiteral("busy");
        f.message = QStringLiteral("cannot open %1: it is busy (%2)").arg(what, reason);
        f.hint = QStringLiteral("another program holds the port; close it and try again");
        f.advice = QStringLiteral("%1被其他程序占用%2：请关闭占用串口的程序后重试").arg(what, why);
    } else {
        f.kind = QStringLiteral("other");
        f.message = QStringLiteral("cannot open %1: %2").arg(what, reason);
        f.hint = QStringLiteral("check the device and the line settings");
        f.advice = QStringLiteral("无法打开%1%2：请检查设备和串口设置").arg(what, why);
    }
    return f;
}
