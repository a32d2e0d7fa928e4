#include "protocol/frames.h"

#include "protocol/crc.h"

namespace frames {

static QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    b.reserve(int(values.size()) + 2);
    for (int v : values)
        b.append(char(uint8_t(v)));
    return b;
}

QByteArray closeFrame(QByteArray body)
{
    const uint16_t crc = ModbusCrc16(reinterpret_cast<const uint8_t *>(body.constData()), std::size_t(body.size()));
    body.append(char(crc & 0xFF));
    body.append(char(crc >> 8));
    return body;
}

QByteArray SearchFrame() { return closeFrame(bytes({0x00, 0x06, 0x00, 0x33, 0x00, 0x01})); }
QByteArray SetAddressFrame(uint8_t n) { return closeFrame(bytes({0x00, 0x06, 0x00, 0x00, 0x00, n})); }
QByteArray ResetFrame(uint8_t a) { return closeFrame(bytes({a, 0x06, 0x00, 0x69, 0x00, 0x01})); }
QByteArray ReadRelaysFrame(uint8_t a) { return closeFrame(bytes({a, 0x01, 0x00, 0x00, 0x00, 0x08})); }
QByteArray ReadInputsFrame(uint8_t a) { return closeFrame(bytes({a, 0x02, 0x00, 0x00, 0x00, 0x08})); }
QByteArray InputReportFrame(uint8_t a, bool on) { return closeFrame(bytes({a, 0x06, 0x13, 0x70, 0x00, on ? 1 : 0})); }
QByteArray WriteRelaysFrame(uint8_t a, uint8_t r) { return closeFrame(bytes({a, 0x0F, 0x00, 0x00, 0x00, 0x08, 0x01, r})); }

QByteArray DirectOutputFrame(uint8_t a, const std::array<uint8_t, 8> &o)
{
    return closeFrame(bytes({a, 0x88, 0x08, o[0], o[1], o[2], o[3], o[4], o[5], o[6], o[7]}));
}

QByteArray StepFrame(uint8_t a, const LogicStep &s)
{
    return closeFrame(bytes({a, 0x10, 0x00, 0x77, 0x00, 0x03, 0x05, s.stepNo, s.andMask, s.orMask, s.outMask, 0x00}));
}

QByteArray PortGreetingFrame() { return bytes({0xAA, 0xB3, 0xF5}); }

bool hasValidCrc(const QByteArray &frame)
{
    return hasValidCrc(reinterpret_cast<const uint8_t *>(frame.constData()), frame.size());
}

bool hasValidCrc(const uint8_t *frame, qsizetype size)
{
    if (size < 3)
        return false;
    const uint16_t crc = ModbusCrc16(frame, std::size_t(size - 2));
    return frame[size - 2] == (crc & 0xFF) && frame[size - 1] == (crc >> 8);
}

} // namespace frames
