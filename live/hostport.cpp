#include "hostport.h"

namespace kesta {

std::optional<HostPort> ParseHostPort(const QString &text, QString &error)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == text.size() - 1) {
        error = QStringLiteral("%1: expected HOST:PORT").arg(text);
        return std::nullopt;
    }
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        error = QStringLiteral("%1: the port must be a number from 1 to 65535").arg(text);
        return std::nullopt;
    }
    if (host.isEmpty()) {
        error = QStringLiteral("%1: no host name").arg(text);
        return std::nullopt;
    }
    return HostPort{host, static_cast<quint16>(port)};
}

QString HostPort::text() const
{
    if (host.contains(QLatin1Char(':')))
        return QStringLiteral("[%1]:%2").arg(host).arg(port);
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

} // namespace kesta
