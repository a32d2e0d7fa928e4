#pragma once

#include "status/devicestatus.h"

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>

class DeviceState;

// Keeps the status window and its state: the state is made on first need
// (answers arriving while the window is closed are kept) and dropped when
// the window closes; the window's screen position is kept for its next opening.
class StatusWindowHost : public QObject
{
    Q_OBJECT
public:
    StatusWindowHost(QWidget *host, StatusLink link);
    ~StatusWindowHost() override;

    DeviceState &deviceState();
    // Null while nothing holds a state.
    DeviceState *currentDeviceState() const { return m_state.get(); }
    // Opens the status window, or raises the one already open.
    devicestatus *ShowDeviceStatus();
    // The open status window, or null.
    devicestatus *statusWindow() const { return m_window.data(); }

public slots:
    // Applied by the reply parser; kept even while the window is closed.
    void ApplyRelayState(uint8_t relays);
    void ApplyInputState(uint8_t inputs);

private:
    void DeviceStatusClosed(devicestatus *window);

    QWidget *m_host;
    StatusLink m_link;
    std::unique_ptr<DeviceState> m_state;
    std::optional<QPoint> m_statusPos;
    QPointer<devicestatus> m_window;
};
