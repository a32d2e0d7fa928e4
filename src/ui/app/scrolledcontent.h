#pragma once

class QScrollArea;
class QWidget;

namespace ui {

// The window's controls stand on one content widget inside a scroll area
// that fills the window. The scroll bars appear only while the window is
// smaller than the content, so on a small screen the user scrolls to every
// control; each control keeps its place relative to its parent.
//
// Makes the scroll area (objectName "ContentScroll") in the window and its
// content widget ("Content"), and returns the content.
QWidget *makeScrolledContent(QWidget *window, QScrollArea **area);

// Sizes the content to reach its farthest control (and at least the window's
// initial client area), grows the window by the horizontal bar's height when
// the content is wider, so that the initial view stays whole above the bar,
// and limits the window to the content and that bar. Children named in
// `clipped` are left out: they are meant to be cut off by the content's edge.
void fitScrolledContent(QWidget *window, QWidget *content, const char *clipped);

} // namespace ui
