#pragma once

#include <QString>
#include <optional>

namespace kesta {

// "HOST:PORT" of a KISS TCP server, e.g. "localhost:8100", "192.0.2.7:8001" or
// "[::1]:8100".
struct HostPort
{
    QString host;
    quint16 port = 0;

    // "host:port", an IPv6 address in brackets ("[::1]:8100") so that the port stands apart.
    QString text() const;
};

// Parses `text`; on failure returns nullopt and says why in `error`.
std::optional<HostPort> ParseHostPort(const QString &text, QString &error);

} // namespace kesta
