#include "influx_target.h"

#include <QUrlQuery>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kesta {

std::optional<InfluxTarget> ParseInfluxUrl(const QString &text, const QByteArray &token,
                                           QString &error)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    auto fail = [&](const QString &why) {
        error = QStringLiteral("%1: %2").arg(text, why);
        return std::nullopt;
    };
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty())
        return fail(QStringLiteral("expected http://HOST:8086/write?db=NAME (InfluxDB 1.x) or "
                                   "http://HOST:8086/api/v2/write?org=ORG&bucket=BUCKET (2.x)"));
    QUrlQuery query(url);
    if (!url.userInfo().isEmpty() || query.hasQueryItem(QStringLiteral("p")) ||
        query.hasQueryItem(QStringLiteral("u")))
        return fail(QStringLiteral("credentials do not go in the URL; set INFLUX_TOKEN "
                                   "(a token, or USER:PASSWORD for InfluxDB 1.8 and later)"));

    InfluxTarget target;
    const QString path = url.path();
    QString nanoseconds;
    if (path.endsWith(QLatin1String("/api/v2/write"))) {
        target.api = InfluxTarget::Api::V2;
        nanoseconds = QStringLiteral("ns");
        if (query.queryItemValue(QStringLiteral("bucket")).isEmpty())
            return fail(QStringLiteral("the bucket is missing (bucket=NAME)"));
        if (query.queryItemValue(QStringLiteral("org")).isEmpty() &&
            query.queryItemValue(QStringLiteral("orgID")).isEmpty())
            return fail(QStringLiteral("the organisation is missing (org=NAME)"));
    } else if (path.endsWith(QLatin1String("/write"))) {
        target.api = InfluxTarget::Api::V1;
        nanoseconds = QStringLiteral("n");
        if (query.queryItemValue(QStringLiteral("db")).isEmpty())
            return fail(QStringLiteral("the database is missing (db=NAME)"));
    } else {
        return fail(QStringLiteral("the path must end in /write (InfluxDB 1.x) or /api/v2/write "
                                   "(2.x)"));
    }
    const QString precision = query.queryItemValue(QStringLiteral("precision"));
    if (precision.isEmpty())
        query.addQueryItem(QStringLiteral("precision"), nanoseconds);
    else if (precision != nanoseconds && precision != QLatin1String("ns"))
        return fail(QStringLiteral("the lines carry nanosecond times; leave precision out or "
                                   "set it to %1")
                        .arg(nanoseconds));
    target.writeUrl = url;
    target.writeUrl.setQuery(query);
    target.token = token;
    target.display = text;
    return target;
}

std::string InfluxStateSpoolFor(const InfluxTarget &target)
{
    namespace fs = std::filesystem;
    fs::path folder;
    if (const char *state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
        folder = state;
    else if (const char *home = std::getenv("HOME"); home != nullptr && *home == '/')
        folder = fs::path(home) / ".local" / "state";
    else
        return {};
    folder /= "kesta-decoder";
    std::error_code ec;
    if (fs::create_directories(folder, ec)) // private to the user, as state folders are
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    // One file per server, database and precision: FNV-1a of the write URL.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : target.writeUrl.toString(QUrl::FullyEncoded).toStdString()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "influx-%016llx.lp", static_cast<unsigned long long>(hash));
    return (folder / name).string();
}

} // namespace kesta
