// What a socket failure is called across the controls' boundary: a Winsock number, its text,
// and the HRESULT a failed call returns for it.
#pragma once

#include <QAbstractSocket>

#include <string>

#include "platform/com/hresult.h"

namespace quenda::tcpcontrols {

// A closing or failure as an event reports it. code 0 is an orderly close.
struct SocketStatus {
    int code;                 // Winsock number, or 0
    std::string description;  // English text, "" for code 0
};

// The status for Qt's error: a remote close is {0, ""}; anything Qt has no finer name for is
// WSAENETDOWN with Qt's own text.
SocketStatus StatusFromSocketError(QAbstractSocket::SocketError error, const QString& qtText);

// The status of a fixed Winsock number, with its text.
SocketStatus StatusFromCode(int code);

// The HRESULT whose error number the host sees as 15001 + code (10048 -> 25049), severity
// error, facility control.
HRESULT HresultFromSocketCode(int code);

}  // namespace quenda::tcpcontrols
