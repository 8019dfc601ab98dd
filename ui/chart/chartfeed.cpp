#include "chartfeed.h"

#include "mainlayout.h"
#include "parameterchart.h"
#include "record_store.h"
#include "value_text.h"

#include <QList>
#include <QPointF>
#include <algorithm>
#include <optional>

namespace kesta {

namespace {

QString fromView(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void plotParameter(ParameterChart &chart, const RecordStore &store, std::pair<int, int> span,
                   int parameter)
{
    using namespace mainlayout;
    if (parameter < 0 || static_cast<std::size_t>(parameter) >= ParameterRows.size())
        return;
    const ParameterRow &entry = ParameterRows[static_cast<std::size_t>(parameter)];
    const auto [from, to] = span;
    const int rows = std::max(to - from + 1, 0);
    chart.setRowCount(rows, store.numberAt(static_cast<std::int16_t>(from)));
    if (!isChartable(entry))
        return; // no numbers to plot: the earlier points stay

    // Only records whose frame carried the field are plotted, at their record number (in a
    // live session: the session number): a frame of another kind has no value there, not a
    // zero.
    QList<QPointF> points;
    QList<std::optional<qint64>> times;
    points.reserve(rows);
    times.reserve(rows);
    for (int r = from; r <= to; ++r) {
        const TelemetryRecord &record = store[static_cast<std::int16_t>(r)];
        if (!record.Written.test(*entry.field))
            continue;
        const double y = FieldNumber(record, *entry.field).value_or(0.0);
        points.append(QPointF(static_cast<double>(store.numberAt(r)), y));
        times.append(record.ReceptionTime);
    }
    chart.setParameter(fromView(parameterLabel(entry)), fromView(parameterUnit(entry)));
    chart.setField(entry.field);
    chart.setPoints(points, times);
}

} // namespace kesta
