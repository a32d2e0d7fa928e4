#include "protocol/crc.h"

uint16_t ModbusCrc16(const uint8_t *bytes, std::size_t count)
{
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 1)
                crc = uint16_t((crc >> 1) ^ 0xA001);
            else
                crc = uint16_t(crc >> 1);
        }
    }
    return crc;
}
