#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final XOR),
// computed bit by bit over the first count bytes. Frames carry it low byte first.
uint16_t ModbusCrc16(const uint8_t *bytes, std::size_t count);
