// Receive path and reply parser of the main window (placeholder until built).
#include "app/relay.h"

void relay::Timer2_Timer() {}
void relay::MSComm_OnComm() {}
bool relay::HexReceiveOn() const { return true; }
void relay::buildTerminalReceive() {}
