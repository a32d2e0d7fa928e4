#pragma once

#include "relayparts.h"
#include "serial/qtserialport.h"

#include <QByteArray>
#include <QString>

#include <memory>

class Dialogs;

// The main window on COM1 of a settings folder (sysini.txt written for
// COM1 9600 N 8 1), with the real serial port, after its start-up.
std::unique_ptr<relay> startToolOnCom1(const QString &settingsFolder, Dialogs *dialogs);

// The tool's own serial port opened on COM1 of a settings folder, collecting
// whatever arrives.
class ReceivingPort
{
public:
    // False (see error()) when the port does not open.
    bool open(const QString &settingsFolder);
    QString error() const { return m_error; }
    // Sends a request and collects what comes back until count bytes arrived
    // or the time is up.
    QByteArray ask(const QByteArray &request, int count, int timeoutMs = 3000);

    std::unique_ptr<QtSerialPort> port;
    QByteArray received;

private:
    QString m_error;
};
