#include "status/statuswindowhost.h"

#include "board/devicestate.h"

StatusWindowHost::StatusWindowHost(QWidget *host, StatusLink link) : QObject(host), m_host(host), m_link(std::move(link))
{
    setObjectName(QStringLiteral("statusWindowHost"));
    m_link.closed = [this](devicestatus *w) { DeviceStatusClosed(w); };
}

StatusWindowHost::~StatusWindowHost()
{
    // The window goes before its state.
    delete m_window.data();
}

DeviceState &StatusWindowHost::deviceState()
{
    if (!m_state)
        m_state = std::make_unique<DeviceState>();
    return *m_state;
}

void StatusWindowHost::ApplyRelayState(uint8_t relays)
{
    deviceState().applyRelayState(relays);
}

void StatusWindowHost::ApplyInputState(uint8_t inputs)
{
    deviceState().applyInputState(inputs);
}

devicestatus *StatusWindowHost::ShowDeviceStatus()
{
    if (devicestatus *open = statusWindow()) {
        open->show();
        open->raise();
        return open;
    }
    auto *win = new devicestatus(m_host, &deviceState(), m_link);
    m_window = win;
    if (m_statusPos)
        win->move(*m_statusPos);
    win->show();
    return win;
}

void StatusWindowHost::DeviceStatusClosed(devicestatus *window)
{
    if (window != statusWindow())
        return;
    m_statusPos = window->pos();
    m_window = nullptr;
    m_state.reset();
}
