#pragma once

#include "logic/logicstep.h"

#include <QByteArray>

#include <array>
#include <cstdint>

// Every request the tool sends to the relay board, closed with ModbusCrc16
// (low byte first). A is the board address byte.
namespace frames {

// Appends the CRC of all bytes present.
QByteArray closeFrame(QByteArray body);

QByteArray SearchFrame();                                  // 00 06 00 33 00 01 CRC
QByteArray SetAddressFrame(uint8_t newAddress);            // 00 06 00 00 00 N CRC
QByteArray ResetFrame(uint8_t a);                          // A 06 00 69 00 01 CRC
QByteArray ReadRelaysFrame(uint8_t a);                     // A 01 00 00 00 08 CRC
QByteArray ReadInputsFrame(uint8_t a);                     // A 02 00 00 00 08 CRC
QByteArray InputReportFrame(uint8_t a, bool on);           // A 06 13 70 00 V CRC
QByteArray WriteRelaysFrame(uint8_t a, uint8_t relays);    // A 0F 00 00 00 08 01 R CRC
QByteArray DirectOutputFrame(uint8_t a, const std::array<uint8_t, 8> &outputs); // A 88 08 O1..O8 CRC
QByteArray StepFrame(uint8_t a, const LogicStep &step);    // A 10 00 77 00 03 05 s and or out 00 CRC
QByteArray PortGreetingFrame();                            // AA B3 F5, no CRC

// True when the last two bytes are the CRC of the bytes before them.
bool hasValidCrc(const QByteArray &frame);
// The same for size bytes in place.
bool hasValidCrc(const uint8_t *frame, qsizetype size);

} // namespace frames
