#include "realport.h"

#include "serial/portresolver.h"
#include "serial/portsettings.h"

#include <QTest>

std::unique_ptr<relay> startToolOnCom1(const QString &settingsFolder, Dialogs *dialogs)
{
    if (!writeFileAtomically(settingsFilePath(settingsFolder), "COM1\r\n9600\r\nNONE\r\n8\r\n1\r\n"))
        return nullptr;
    relay::Options o;
    o.settingsFolder = settingsFolder;
    o.resolver = std::make_shared<PortResolver>(settingsFolder, false);
    o.dialogs = dialogs;
    o.quitApplication = [] {};
    auto w = std::make_unique<relay>(o);
    w->Form_Load();
    return w;
}

bool ReceivingPort::open(const QString &settingsFolder)
{
    port = std::make_unique<QtSerialPort>(std::make_shared<PortResolver>(settingsFolder, false));
    port->setCommPort(1);
    port->setRThreshold(1);
    if (!port->setPortOpen(true)) {
        m_error = port->errorString();
        return false;
    }
    QObject::connect(port.get(), &SerialPort::OnComm, [this] {
        if (port->commEvent() == SerialPort::comEvReceive)
            received += port->input();
    });
    return true;
}

QByteArray ReceivingPort::ask(const QByteArray &request, int count, int timeoutMs)
{
    received.clear();
    if (!port->output(request))
        return {};
    (void)QTest::qWaitFor([&] { return received.size() >= count; }, timeoutMs);
    return received;
}
