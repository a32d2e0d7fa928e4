#pragma once

class QString;
class QWidget;

namespace ui {

// Gives the main window's controls that have no caption of their own (text
// boxes, the port and address boxes, the bare check boxes of the terminal)
// the name a screen reader announces: the text of the label that stands
// beside them, or what the box shows. Controls that are missing are skipped.
void nameMainWindowControls(QWidget *window);

// Names a control for assistive technology; for a combo box also its edit
// field and its list, which are separate focusable elements.
void setAccessibleName(QWidget *control, const QString &name);

} // namespace ui
