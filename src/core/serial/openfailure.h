#pragma once

#include <QString>

// Why a port did not open, in words, with what to try. Used by the
// command-line tool (English message and hint) and by the window (one
// Chinese sentence for the status line and the status box's tooltip).
struct OpenFailure
{
    QString kind;    // "permission", "busy", "no-device", "other"
    QString message; // names the port, the device and the system's reason
    QString hint;
    QString advice;  // the same in Chinese for the window: reason and what to do
};

// portName: "COMn" or a path; device: what it resolved to (empty: nothing);
// systemReason: the port's error text. Qt reports a port locked by another
// program as a permission error "while locking the device": that is a busy
// port, not a missing right.
OpenFailure explainOpenFailure(const QString &portName, const QString &device, const QString &systemReason,
                               const QString &settingsFolder);
