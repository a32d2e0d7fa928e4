#pragma once

#include <QByteArray>
#include <QString>

// The two contents the writer alternates, written as the program writes
// them: the settings file as the port group saves it, the names file as the
// name editor saves it.
namespace stresswriter {

QByteArray content(const QString &kind, bool second);
bool write(const QString &kind, const QString &path, bool second);

} // namespace stresswriter
