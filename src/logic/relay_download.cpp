// Writing the eight-step program from the grid into the board.
#include "app/relay.h"

#include "protocol/frames.h"
#include "serial/serialport.h"

#include <QPushButton>

#include <initializer_list>
#include <vector>

namespace {

// Enables the given buttons again when the download ends, however it ends.
class ButtonsLock
{
public:
    explicit ButtonsLock(std::initializer_list<QPushButton *> buttons) : m_buttons(buttons)
    {
        for (QPushButton *b : m_buttons)
            b->setEnabled(false);
    }
    ~ButtonsLock()
    {
        for (QPushButton *b : m_buttons)
            b->setEnabled(true);
    }
    ButtonsLock(const ButtonsLock &) = delete;
    ButtonsLock &operator=(const ButtonsLock &) = delete;

private:
    std::vector<QPushButton *> m_buttons;
};

} // namespace

void relay::writefirst_Click()
{
    if (!RequireDeviceAddress(true))
        return;
    // The address is read this once: a change of Combo1 during the download
    // does not reach the remaining frames.
    const std::optional<uint8_t> address = DeviceAddressByte();
    if (!address || !RequirePortOpen())
        return;

    const ButtonsLock lock{writefirst, CmdReset, writeadd};
    for (int s = 1; s <= 8; ++s) {
        // A step is read just before its frame, so a change made during the
        // pauses still reaches every step not yet sent.
        const QByteArray frame = frames::StepFrame(*address, ReadLogicStep(s));
        // A port that went away stops the download; what went out were whole frames.
        if (!MSComm->portOpen() || !MSComm->output(frame))
            return;
        if (!Sleep2(s < 8 ? 250 : 100))
            return; // quitting
    }
}
