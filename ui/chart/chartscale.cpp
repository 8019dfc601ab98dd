#include "chartscale.h"

#include <QDateTime>
#include <cmath>

namespace kesta::chartscale {

namespace {

constexpr int TimeLabels = 7;
constexpr qint64 DayMs = 86400000;

} // namespace

int labelStep(int rows)
{
    // rows / 20 rounded half to even; exact in integers: quotient, then the remainder
    // against half of 20.
    const int quotient = rows / 20;
    const int remainder = rows % 20;
    if (remainder > 10 || (remainder == 10 && quotient % 2 == 1))
        return quotient + 1;
    return quotient;
}

int automaticStep(int rows)
{
    for (int step : {1, 2, 5, 10})
        if (rows <= 20 * step)
            return step;
    return 10;
}

double niceNumber(double x, bool ceiling)
{
    const double power = std::pow(10.0, std::floor(std::log10(x)));
    const double q = x / power;
    double nice = 10;
    if (ceiling)
        nice = q <= 1 ? 1 : q <= 2 ? 2 : q <= 5 ? 5 : 10;
    else
        nice = q < 1.5 ? 1 : q < 3 ? 2 : q < 7 ? 5 : 10;
    return nice * power;
}

qint64 timeStep(double spanMs)
{
    static constexpr qint64 steps[] = {
        1,        2,        5,      10,        20,        50,         100,       200,
        500,      1000,     2000,   5000,      10000,     15000,      30000,     60000,
        120000,   300000,   600000, 900000,    1800000,   3600000,    7200000,   10800000,
        21600000, 43200000, DayMs,  2 * DayMs, 7 * DayMs, 14 * DayMs, 28 * DayMs};
    for (qint64 step : steps)
        if (spanMs / static_cast<double>(step) <= TimeLabels)
            return step;
    return static_cast<qint64>(niceNumber(spanMs / TimeLabels / DayMs, true)) * DayMs;
}

QString timeLabelFormat(qint64 step, double spanMs)
{
    if (step < 1000)
        return QStringLiteral("hh:mm:ss.zzz");
    if (spanMs >= DayMs)
        return step >= DayMs ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("MM-dd hh:mm");
    return step < 60000 ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm");
}

QString utcText(qint64 ms, const QString &format)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(format);
}

} // namespace kesta::chartscale
