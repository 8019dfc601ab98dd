#pragma once

#include <QString>
#include <QtGlobal>

namespace kesta {

// Where the chart's X axis puts its labels: the steps between them on the record axis and
// on the time axis, and the texts of the time axis.
namespace chartscale {

// Records between labels and ticks for a fixed scale: rows / 20 to the nearest whole
// number, a tie going to the even neighbour (101 gives 5, 110 gives 6, 1000 gives 50).
int labelStep(int rows);
// Label spacing the chart picks itself for small logs: about twenty labels at most, on
// round record numbers.
int automaticStep(int rows);
// A round number near `x`: 1, 2 or 5 times a power of ten; with `ceiling` at least `x`.
double niceNumber(double x, bool ceiling);
// Spacing of time labels: round steps of the clock, the smallest that gives at most seven
// labels over `spanMs`.
qint64 timeStep(double spanMs);
// The date/time format of labels `step` milliseconds apart over `spanMs`.
QString timeLabelFormat(qint64 step, double spanMs);
// `ms` since 1970-01-01 00:00 UTC as UTC text in `format`.
QString utcText(qint64 ms, const QString &format);

} // namespace chartscale

} // namespace kesta
