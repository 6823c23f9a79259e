#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// The JSON texts clients send, read without trusting them.
namespace OxsRemote {

// The largest body or WebSocket message taken.
inline constexpr qsizetype kMaxBodyBytes = 64 * 1024;

// A write's body: {"value": 120}. Returns false with the reason in *why for anything else.
bool readValueBody(const QByteArray &body, QJsonValue &value, QString *why);
// A WebSocket client's write: {"set": "HPOS", "value": 120}.
bool readSetMessage(const QByteArray &text, QString &name, QJsonValue &value, QString *why);

} // namespace OxsRemote
