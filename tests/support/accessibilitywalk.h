#pragma once

#include <QString>

#include <vector>

class QWidget;

// Walks the accessibility tree that assistive technology sees (QAccessible),
// from a window down, offscreen as on screen.
namespace accessibility {

struct Control
{
    QString objectName; // of the widget behind the interface, or "" when none
    QString className;  // of that widget
    QString role;       // QAccessible::Role, e.g. "CheckBox"
    QString name;       // QAccessible::Name, trimmed
    QString path;       // object names from the window down, joined with '/'
};

// Every focusable element under root (root included), in tree order.
std::vector<Control> focusableControls(QWidget *root);
// The focusable elements whose accessible name is empty.
std::vector<Control> unnamedFocusableControls(QWidget *root);
// One line per control: "path [role, class]", for failure messages.
QString describe(const std::vector<Control> &controls);

} // namespace accessibility
