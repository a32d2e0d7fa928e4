#include "accessibilitywalk.h"

#include <QAccessible>
#include <QMetaEnum>
#include <QStringList>
#include <QWidget>

namespace accessibility {
namespace {

QString roleName(QAccessible::Role role)
{
    const QMetaEnum e = QMetaEnum::fromType<QAccessible::Role>();
    const char *key = e.valueToKey(role);
    return key ? QString::fromLatin1(key) : QString::number(int(role));
}

void walk(QAccessibleInterface *iface, const QString &parentPath, std::vector<Control> &out, int depth)
{
    // Trees of real windows are shallow; the bound only guards against a cycle.
    if (!iface || !iface->isValid() || depth > 64)
        return;
    QObject *o = iface->object();
    const QString objectName = o ? o->objectName() : QString();
    const QString path = parentPath.isEmpty() ? objectName : parentPath + QLatin1Char('/') + objectName;
    if (iface->state().focusable) {
        Control c;
        c.objectName = objectName;
        c.className = o ? QString::fromLatin1(o->metaObject()->className()) : QString();
        c.role = roleName(iface->role());
        c.name = iface->text(QAccessible::Name).trimmed();
        c.path = path;
        out.push_back(c);
    }
    const int n = iface->childCount();
    for (int i = 0; i < n; ++i)
        walk(iface->child(i), path, out, depth + 1);
}

} // namespace

std::vector<Control> focusableControls(QWidget *root)
{
    std::vector<Control> out;
    walk(QAccessible::queryAccessibleInterface(root), QString(), out, 0);
    return out;
}

std::vector<Control> unnamedFocusableControls(QWidget *root)
{
    std::vector<Control> out;
    for (const Control &c : focusableControls(root))
        if (c.name.isEmpty())
            out.push_back(c);
    return out;
}

QString describe(const std::vector<Control> &controls)
{
    QStringList lines;
    for (const Control &c : controls)
        lines << QStringLiteral("%1 [%2, %3]").arg(c.path, c.role, c.className);
    return lines.join(QLatin1Char('\n'));
}

} // namespace accessibility
