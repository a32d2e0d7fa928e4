#include "board/devicestate.h"

bool DeviceState::lamp(int i) const
{
    if (i >= kRelayLampBase && i < kRelayLampBase + 8)
        return m_relayLamps[std::size_t(i - kRelayLampBase)];
    if (i >= kInputLampBase && i < kInputLampBase + 8)
        return m_inputLamps[std::size_t(i - kInputLampBase)];
    return false;
}

void DeviceState::setLamp(int i, bool on)
{
    if (i >= kRelayLampBase && i < kRelayLampBase + 8)
        m_relayLamps[std::size_t(i - kRelayLampBase)] = on;
    else if (i >= kInputLampBase && i < kInputLampBase + 8)
        m_inputLamps[std::size_t(i - kInputLampBase)] = on;
    else
        return;
    emit changed();
}

void DeviceState::setRelayCheck(int k, bool ticked)
{
    if (k < 0 || k >= 8)
        return;
    m_relayChecks[std::size_t(k)] = ticked;
    emit changed();
}

void DeviceState::setAllRelayChecks(bool ticked)
{
    m_relayChecks.fill(ticked);
    emit changed();
}

void DeviceState::setCheck1(bool ticked)
{
    m_check1 = ticked;
    emit changed();
}

uint8_t DeviceState::relayCheckMask() const
{
    uint8_t r = 0;
    for (int k = 0; k < 8; ++k) {
        if (m_relayChecks[std::size_t(k)])
            r = uint8_t(r | (1u << k));
    }
    return r;
}

void DeviceState::applyRelayState(uint8_t relays)
{
    for (int k = 7; k >= 0; --k) {
        const bool on = (relays >> k) & 1u;
        m_relayLamps[std::size_t(k)] = on;
        m_relayChecks[std::size_t(k)] = on;
    }
    emit changed();
}

void DeviceState::applyInputState(uint8_t inputs)
{
    for (int k = 7; k >= 0; --k)
        m_inputLamps[std::size_t(k)] = (inputs >> k) & 1u;
    emit changed();
}
