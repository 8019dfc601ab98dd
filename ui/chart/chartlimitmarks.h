#pragma once

#include "limit_set.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QChart;
class QGraphicsLineItem;
class QScatterSeries;
class QXYSeries;

namespace kesta {

// The limits of the chart's field, drawn into a chart: the bounds as lines across the plot
// (dashed amber for the warning range, solid red for the critical one) and the points
// outside them marked over the line by shape as well as colour, a triangle for a warning
// and a square for critical. Without limits, or for a field without any, neither.
class ChartLimitMarks
{
public:
    // Adds the two series of marks and the four bound lines to `chart`, which owns them.
    explicit ChartLimitMarks(QChart *chart);

    void setLimitSet(std::shared_ptr<const LimitSet> limits) { m_limits = std::move(limits); }
    void setField(std::optional<Field> field) { m_field = field; }

    // Judges each value against the field's limits; levelOf() then answers by index.
    void judge(const std::vector<double> &values);
    LimitLevel levelOf(std::size_t index) const;
    bool judged() const { return !m_levels.empty(); }

    // Marks the points outside limits among those plotted: `points` in the series' order,
    // `indices` the index judged for each.
    void mark(const QList<QPointF> &points, const std::vector<int> &indices);
    // The series of marks, to follow the chart's X axis.
    std::array<QXYSeries *, 2> series() const;

    // Lays each bound within [yMin, yMax] across `plot`; `pixelY` maps a value to its height
    // in the chart. A bound outside the value axis, or no plot yet, is hidden.
    void placeLines(const QRectF &plot, double yMin, double yMax,
                    const std::function<double(double)> &pixelY);
    // The value of each bound line drawn: warning low and high, critical low and high.
    QList<double> drawnBounds() const;

private:
    QScatterSeries *m_warningMarks;
    QScatterSeries *m_criticalMarks;
    std::array<QGraphicsLineItem *, 4> m_lines{};
    std::array<std::optional<double>, 4> m_bounds{};
    std::shared_ptr<const LimitSet> m_limits;
    std::optional<Field> m_field;
    std::vector<LimitLevel> m_levels; // per value judged
};

} // namespace kesta
