#include "relayfixture.h"

#include "serial/portresolver.h"
#include "serial/portsettings.h"

#include <QFile>

void RelayFixture::writeSettings(const QByteArray &bytes)
{
    QFile f(settingsFilePath(dir.path()));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void RelayFixture::start(bool formLoad)
{
    port = new FakeSerialPort;
    relay::Options o;
    o.settingsFolder = dir.path();
    o.resolver = std::make_shared<PortResolver>(dir.path(), false);
    o.dialogs = &dialogs;
    o.port = port;
    o.quitApplication = [this] { ++quitCalls; };
    w = std::make_unique<relay>(o);
    if (formLoad)
        w->Form_Load();
}

void RelayFixture::startOpen()
{
    writeSettings("COM1\r\n9600\r\nNONE\r\n8\r\n1\r\n");
    start();
    ASSERT_TRUE(port->portOpen());
    dialogs.messages.clear();
}

void RelayFixture::TearDown()
{
    w.reset();
}
