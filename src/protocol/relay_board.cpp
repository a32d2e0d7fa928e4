// Board commands of the main window (placeholder until built).
#include "app/relay.h"

void relay::sdevice_Click() {}
void relay::writeadd_Click() {}
void relay::CmdReset_Click() {}
void relay::Command1_Click() {}
void relay::Command2_Click() {}
void relay::ApplyRelayState(uint8_t) {}
void relay::ApplyInputState(uint8_t) {}
void relay::buildBoardCommands() {}
