#include "parameterchart.h"

#include "layoutstyle.h"

#include <QChart>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

// Label spacing the chart picks itself for small logs: about twenty labels at most, on
// round record numbers.
int automaticStep(int rows)
{
    for (int step : {1, 2, 5, 10})
        if (rows <= 20 * step)
            return step;
    return 10;
}

} // namespace

ParameterChart::ParameterChart(QWidget *parent)
    : QChartView(parent), series_(new QLineSeries), axisX_(new QValueAxis), axisY_(new QValueAxis)
{
    setObjectName(QStringLiteral("MSChart1"));
    setToolTip(QStringLiteral("graphical value"));
    setRenderHint(QPainter::Antialiasing, true);
    setFrameShape(QFrame::NoFrame);

    auto *chart = new QChart;
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(2, 2, 6, 2));
    chart->setBackgroundRoundness(0);
    chart->setBackgroundBrush(layoutstyle::BackgroundColor);

    series_->setPointsVisible(true);
    series_->setMarkerSize(4);
    QPen pen(QColor(0, 0, 160));
    pen.setWidthF(1.25);
    series_->setPen(pen);
    series_->setColor(QColor(0, 0, 160));
    chart->addSeries(series_);

    const QFont font = layoutstyle::defaultFont();
    for (QValueAxis *axis : {axisX_, axisY_}) {
        axis->setLabelsFont(font);
        axis->setLabelFormat(QStringLiteral("%g"));
        axis->setMinorTickCount(0);
        axis->setTruncateLabels(false);
    }
    axisX_->setLabelFormat(QStringLiteral("%.0f"));
    axisX_->setTickType(QValueAxis::TicksDynamic);
    axisY_->setRange(0, 1);
    chart->addAxis(axisX_, Qt::AlignBottom);
    chart->addAxis(axisY_, Qt::AlignLeft);
    series_->attachAxis(axisX_);
    series_->attachAxis(axisY_);
    setChart(chart);
    setRowCount(0);
}

int ParameterChart::labelStep(int rows)
{
    // rows / 20 rounded half to even; exact in integers: quotient, then the remainder
    // against half of 20.
    const int quotient = rows / 20;
    const int remainder = rows % 20;
    if (remainder > 10 || (remainder == 10 && quotient % 2 == 1))
        return quotient + 1;
    return quotient;
}

void ParameterChart::setRowCount(int rows)
{
    rows_ = std::max(rows, 0);
    // Categories are centred on their record number, half a division from each edge.
    axisX_->setRange(0.5, std::max(rows_, 1) + 0.5);
    if (isAutoScale()) {
        divisionsPerLabel_ = automaticStep(rows_);
        axisX_->setTickAnchor(divisionsPerLabel_ == 1 ? 1 : 0);
    } else {
        divisionsPerLabel_ = labelStep(rows_);
        axisX_->setTickAnchor(1);
    }
    axisX_->setTickInterval(divisionsPerLabel_);
}

void ParameterChart::setPoints(const QList<QPointF> &points)
{
    series_->replace(points);
    if (points.isEmpty()) {
        axisY_->setRange(0, 1);
        return;
    }
    auto [low, high] =
        std::minmax_element(points.cbegin(), points.cend(),
                            [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
    double min = low->y();
    double max = high->y();
    if (min == max) {
        const double pad = min == 0 ? 1 : std::abs(min) * 0.1;
        min -= pad;
        max += pad;
    }
    axisY_->setRange(min, max);
    axisY_->applyNiceNumbers();
}

QList<QPointF> ParameterChart::points() const
{
    return series_->points();
}
