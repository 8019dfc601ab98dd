#include "chartlimitmarks.h"

#include <QChart>
#include <QGraphicsLineItem>
#include <QPen>
#include <QScatterSeries>

namespace kesta {

namespace {

const QColor WarningColor(214, 130, 0);
const QColor CriticalColor(200, 0, 0);

} // namespace

ChartLimitMarks::ChartLimitMarks(QChart *chart)
    : m_warningMarks(new QScatterSeries), m_criticalMarks(new QScatterSeries)
{
    m_warningMarks->setObjectName(QStringLiteral("WarningMarks"));
    m_warningMarks->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    m_warningMarks->setMarkerSize(10);
    m_warningMarks->setColor(WarningColor);
    m_warningMarks->setBorderColor(QColor(120, 70, 0));
    m_criticalMarks->setObjectName(QStringLiteral("CriticalMarks"));
    m_criticalMarks->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_criticalMarks->setMarkerSize(9);
    m_criticalMarks->setColor(CriticalColor);
    m_criticalMarks->setBorderColor(QColor(110, 0, 0));
    chart->addSeries(m_warningMarks);
    chart->addSeries(m_criticalMarks);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        auto *line = new QGraphicsLineItem;
        line->setParentItem(chart);
        const bool critical = i >= 2;
        line->setPen(QPen(critical ? CriticalColor : WarningColor, 1,
                          critical ? Qt::SolidLine : Qt::DashLine));
        line->setZValue(900);
        line->hide();
        m_lines[i] = line;
    }
}

void ChartLimitMarks::judge(const std::vector<double> &values)
{
    m_levels.clear();
    m_bounds = {};
    const FieldLimits *given = m_limits && m_field ? m_limits->limitsOf(*m_field) : nullptr;
    if (!given)
        return;
    if (given->warning) {
        m_bounds[0] = given->warning->low;
        m_bounds[1] = given->warning->high;
    }
    if (given->critical) {
        m_bounds[2] = given->critical->low;
        m_bounds[3] = given->critical->high;
    }
    m_levels.reserve(values.size());
    for (double value : values)
        m_levels.push_back(m_limits->levelOf(*m_field, value));
}

LimitLevel ChartLimitMarks::levelOf(std::size_t index) const
{
    return index < m_levels.size() ? m_levels[index] : LimitLevel::Ok;
}

void ChartLimitMarks::mark(const QList<QPointF> &points, const std::vector<int> &indices)
{
    QList<QPointF> warnings;
    QList<QPointF> criticals;
    for (qsizetype n = 0; n < points.size(); ++n) {
        const LimitLevel level =
            levelOf(static_cast<std::size_t>(indices[static_cast<std::size_t>(n)]));
        if (level == LimitLevel::Warning)
            warnings.append(points.at(n));
        else if (level == LimitLevel::Critical)
            criticals.append(points.at(n));
    }
    m_warningMarks->replace(warnings);
    m_criticalMarks->replace(criticals);
}

std::array<QXYSeries *, 2> ChartLimitMarks::series() const
{
    return {m_warningMarks, m_criticalMarks};
}

void ChartLimitMarks::placeLines(const QRectF &plot, double yMin, double yMax,
                                 const std::function<double(double)> &pixelY)
{
    for (std::size_t i = 0; i < m_bounds.size(); ++i) {
        QGraphicsLineItem *line = m_lines[i];
        const std::optional<double> &y = m_bounds[i];
        if (!y || plot.width() <= 0 || *y < yMin || *y > yMax) {
            line->hide();
            continue;
        }
        const double py = pixelY(*y);
        line->setLine(plot.left(), py, plot.right(), py);
        line->show();
    }
}

QList<double> ChartLimitMarks::drawnBounds() const
{
    QList<double> drawn;
    for (std::size_t i = 0; i < m_bounds.size(); ++i)
        if (m_lines[i]->isVisible())
            drawn.append(*m_bounds[i]);
    return drawn;
}

} // namespace kesta
