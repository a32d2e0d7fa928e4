// Step grid, program download and names (placeholder until built).
#include "app/relay.h"

LogicStep relay::ReadLogicStep(int s) const { LogicStep st; st.stepNo = uint8_t(s); return st; }
void relay::SetInputCaption(int, const QString &) {}
void relay::SetOutputCaption(int, const QString &) {}
void relay::InitStepGrid() {}
void relay::writefirst_Click() {}
void relay::loadname_Click() {}
void relay::editname_Click() {}
void relay::buildStepGrid() {}
