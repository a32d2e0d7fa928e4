#pragma once

#include "protocol/rtuframer.h"

#include <QByteArray>
#include <QString>

// What a frame on the board's line means, in the window's words:
// "读继电器 地址33", "继电器状态 0x5A 地址33", "异常 02 地址33".
namespace busmeaning {

// sent: the frame was written by this program.
QString describe(const QByteArray &frame, RtuFrame::Kind kind, bool sent);
// The name of a request in messages: "读继电器", "搜索", "写程序步".
QString requestName(const QString &what);
// Bytes as "01 02 0A".
QString hex(const QByteArray &bytes);

} // namespace busmeaning
