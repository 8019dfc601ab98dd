#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>
#include <string>

namespace kesta {

// Where line protocol is written: the write endpoint of an InfluxDB server.
//   InfluxDB 1.x  http://HOST:8086/write?db=NAME[&rp=POLICY]
//   InfluxDB 2.x  http://HOST:8086/api/v2/write?org=ORG&bucket=BUCKET
// The lines carry nanosecond times, so the URL asks for that precision in each
// version's spelling ("n" for 1.x, "ns" for 2.x) unless it already does. Credentials
// never come in the URL: the token is read from the environment (INFLUX_TOKEN) and
// sent as "Authorization: Token ...", which is how 2.x expects it and 1.8 and later
// accept "USER:PASSWORD".
struct InfluxTarget
{
    enum class Api
    {
        V1,
        V2,
    };

    Api api = Api::V1;
    QUrl writeUrl;    // with the precision added
    QByteArray token; // empty: no Authorization header
    // The URL as the user gave it, for messages and for naming the spool file.
    QString display;
};

// Parses `url`; `token` is the value of INFLUX_TOKEN (empty when unset). On failure
// returns nullopt and says why in `error`.
std::optional<InfluxTarget> ParseInfluxUrl(const QString &url, const QByteArray &token,
                                           QString &error);

// The spool file of a log decode's InfluxDB lines: one per server and database, in the
// user's state folder ($XDG_STATE_HOME/kesta-decoder, else ~/.local/state/kesta-decoder),
// taken up by the next decode that writes there. Empty when there is no such folder.
std::string InfluxStateSpoolFor(const InfluxTarget &target);

} // namespace kesta
