#pragma once

#include "relayparts.h"
#include "qtprint.h"
#include "fakeserialport.h"
#include "scripteddialogs.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// A main window on a fake port in a temporary settings folder, with scripted
// dialogs. writeSettings() puts a sysini.txt there before start().
class RelayFixture : public ::testing::Test
{
protected:
    void writeSettings(const QByteArray &bytes);
    // Builds the window; runs start-up unless told not to.
    void start(bool formLoad = true);
    // Start-up on COM1 9600 N 8 1 with the port open and no message kept.
    void startOpen();
    void TearDown() override;

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    FakeSerialPort *port = nullptr; // owned by the window
    std::unique_ptr<relay> w;
    int quitCalls = 0;
};
