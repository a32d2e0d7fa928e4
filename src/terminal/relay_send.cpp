// Send side of the terminal, its file commands and the About window (placeholder until built).
#include "app/relay.h"

#include <QMouseEvent>

void relay::buildTerminalSend() {}
void relay::buildAbout() {}
void relay::CountSentText() {}
void relay::mouseMoveEvent(QMouseEvent *event) { QWidget::mouseMoveEvent(event); }
