#include "diag/busmeaning.h"

#include "protocol/frames.h"

#include <cstdint>

namespace busmeaning {

namespace {
uint8_t at(const QByteArray &f, int i) { return uint8_t(f.at(i)); }
int word(const QByteArray &f, int i) { return (at(f, i) << 8) | at(f, i + 1); }
QString hex2(uint8_t v) { return QStringLiteral("0x") + QString::number(v, 16).rightJustified(2, QLatin1Char('0')).toUpper(); }
} // namespace

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString requestName(const QString &what)
{
    static const struct { const char *en; const char *zh; } names[] = {
        {"search", "搜索"},          {"set address", "设置地址"},   {"read relays", "读继电器"},
        {"read inputs", "读输入"},   {"write relays", "写继电器"},  {"reset", "复位"},
        {"input reports", "输入上报"}, {"program step", "写程序步"}, {"write register", "写寄存器"},
    };
    for (const auto &n : names)
        if (what == QLatin1String(n.en))
            return QString::fromUtf8(n.zh);
    return what;
}

QString describe(const QByteArray &f, RtuFrame::Kind kind, bool sent)
{
    if (kind == RtuFrame::Noise)
        return QStringLiteral("无法成帧的字节（%1字节）").arg(f.size());
    if (sent && f == frames::PortGreetingFrame())
        return QStringLiteral("打开串口问候");
    if (f.size() < 4)
        return QStringLiteral("短帧");
    const uint8_t a = at(f, 0), fn = at(f, 1);
    const QString who = a == 0 ? QStringLiteral("广播") : QStringLiteral("地址%1").arg(a);
    QString s;
    if (fn & 0x80 && f.size() >= 3) {
        s = QStringLiteral("异常 %1 %2").arg(at(f, 2), 2, 16, QLatin1Char('0')).arg(who);
    } else {
        switch (fn) {
        case 0x01:
        case 0x02: {
            const QString what = fn == 0x01 ? QStringLiteral("继电器") : QStringLiteral("输入");
            if (f.size() == 8)
                s = QStringLiteral("读%1 %2").arg(what, who);
            else if (f.size() == 6 && at(f, 2) == 1)
                s = QStringLiteral("%1状态 %2 %3").arg(what, hex2(at(f, 3)), who);
            else
                s = QStringLiteral("%1状态 %2").arg(what, who);
            break;
        }
        case 0x06:
            if (f.size() < 8) {
                s = QStringLiteral("写寄存器 %1").arg(who);
                break;
            }
            switch (word(f, 2)) {
            case 0x0033: s = QStringLiteral("搜索地址（广播）"); break;
            case 0x0000: s = QStringLiteral("设置地址为%1 %2").arg(word(f, 4)).arg(who); break;
            case 0x0069: s = QStringLiteral("复位 %1").arg(who); break;
            case 0x1370: s = QStringLiteral("输入上报%1 %2").arg(word(f, 4) ? QStringLiteral("开") : QStringLiteral("关"), who); break;
            default: s = QStringLiteral("写寄存器 %1").arg(who); break;
            }
            if (!sent)
                s = QStringLiteral("确认：") + s;
            break;
        case 0x0F:
            if (f.size() >= 10)
                s = QStringLiteral("写继电器 %1 %2").arg(hex2(at(f, 7)), who);
            else
                s = QStringLiteral("继电器已写入 %1").arg(who);
            break;
        case 0x10:
            if (f.size() >= 12)
                s = QStringLiteral("写程序步%1 %2").arg(at(f, 7)).arg(who);
            else
                s = QStringLiteral("程序步已写入 %1").arg(who);
            break;
        case 0x34:
            s = f.size() >= 4 ? QStringLiteral("搜索应答 地址%1").arg(at(f, 3)) : QStringLiteral("搜索应答");
            break;
        case 0x88:
            s = QStringLiteral("直接输出 %1").arg(who);
            break;
        default:
            s = QStringLiteral("功能码%1 %2").arg(fn, 2, 16, QLatin1Char('0')).arg(who);
            break;
        }
    }
    if (kind == RtuFrame::BadCrc)
        s = QStringLiteral("校验错误：") + s;
    return s;
}

} // namespace busmeaning
