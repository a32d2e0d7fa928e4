#pragma once

#include <QObject>

#include <array>
#include <cstdint>

// What the device status window shows, kept apart from its widgets so that
// answers arriving while the window is closed are not lost: sixteen lamps
// (0..7 relays Y00..Y07, 10..17 inputs X00..X07), the eight relay check
// boxes (index k is relay Yk) and the input-report box Check1.
// Everything starts dark and clear. Every change is reported by changed().
class DeviceState : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    static constexpr int kRelayLampBase = 0;
    static constexpr int kInputLampBase = 10;

    // Lamp i: 0..7 or 10..17; any other index is dark and cannot be set.
    bool lamp(int i) const;
    void setLamp(int i, bool on);

    bool relayCheck(int k) const { return k >= 0 && k < 8 && m_relayChecks[std::size_t(k)]; }
    void setRelayCheck(int k, bool ticked);
    void setAllRelayChecks(bool ticked);
    // Bit k set for each ticked relay check box of Yk.
    uint8_t relayCheckMask() const;

    bool check1() const { return m_check1; }
    void setCheck1(bool ticked);

    // A relay-state answer: lamp k and the check box of Yk follow bit k.
    void applyRelayState(uint8_t relays);
    // An input-state answer: lamp 10+k follows bit k.
    void applyInputState(uint8_t inputs);

signals:
    void changed();

private:
    std::array<bool, 8> m_relayLamps{};
    std::array<bool, 8> m_inputLamps{};
    std::array<bool, 8> m_relayChecks{};
    bool m_check1 = false;
};
