#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// Readable failure messages for Qt values in gtest assertions.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray &b, std::ostream *os) { *os << '[' << b.toHex(' ').toStdString() << ']'; }
inline void PrintTo(const QStringList &l, std::ostream *os) { *os << '{' << l.join(QStringLiteral(", ")).toStdString() << '}'; }
