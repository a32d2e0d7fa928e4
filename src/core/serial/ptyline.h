#pragma once

#include <QString>

// A pseudo-terminal, as the virtual board and the tests use it in place of a
// serial line: the master side for the one playing the device, the slave
// device for the program to open. The slave is also held open here, in raw
// mode, so that bytes pass unchanged and the master does not report a
// hang-up while the program has the device closed. POSIX systems only.
struct PtyLine
{
    int master = -1;    // non-blocking
    int keepSlave = -1; // -1 when the slave could not be held open
    QString slavePath;
    QString error;      // why opening failed

    bool ok() const { return master >= 0; }
    // Opens a new pseudo-terminal; see ok() and error.
    static PtyLine open();
    // Closes both descriptors.
    void close();
};
