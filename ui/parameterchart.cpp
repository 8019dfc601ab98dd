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

constexpr int ValueTicks = 5;

// A round number near `x`: 1, 2 or 5 times a power of ten; with `ceiling` at least `x`.
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

} // namespace

ParameterChart::ParameterChart(QWidget *parent)
    : QChartView(new QChart, parent), series_(new QLineSeries), axisX_(new QValueAxis),
      axisY_(new QValueAxis)
{
    setObjectName(QStringLiteral("MSChart1"));
    setToolTip(QStringLiteral("graphical value"));
    setRenderHint(QPainter::Antialiasing, true);
    setFrameShape(QFrame::NoFrame);

    // The view owns the chart it was made with; setChart() would leave that one behind.
    QChart *chart = this->chart();
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(2, 2, 6, 2));
    chart->setBackgroundRoundness(0);
    chart->setBackgroundBrush(layoutstyle::BackgroundColor);

    series_->setPointsVisible(true);
    series_->setMarkerSize(4);
    // A cosmetic one-pixel pen keeps the raster engine on its fast line path for the long
    // zigzag of a busy parameter; a wider pen is stroked as one outline.
    QPen pen(QColor(0, 0, 160));
    pen.setWidth(1);
    pen.setCosmetic(true);
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
    axisY_->setTickCount(ValueTicks);
    chart->addAxis(axisX_, Qt::AlignBottom);
    chart->addAxis(axisY_, Qt::AlignLeft);
    series_->attachAxis(axisX_);
    series_->attachAxis(axisY_);
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

void ParameterChart::setRowCount(int rows, qint64 firstRow)
{
    rows_ = std::max(rows, 0);
    firstRow_ = firstRow;
    const int step = isAutoScale() ? automaticStep(rows_) : labelStep(rows_);
    const int anchor = isAutoScale() && step > 1 ? 0 : 1;
    // Categories are centred on their record number, half a division from each edge.
    const double min = static_cast<double>(firstRow_) - 0.5;
    const double max = static_cast<double>(firstRow_) + std::max(rows_, 1) - 0.5;
    // A wider spacing goes in before a longer range and a narrower one after a shorter
    // range, so that the axis never lays out a label for every record on the way.
    if (step >= divisionsPerLabel_) {
        axisX_->setTickInterval(step);
        axisX_->setRange(min, max);
    } else {
        axisX_->setRange(min, max);
        axisX_->setTickInterval(step);
    }
    axisX_->setTickAnchor(anchor);
    divisionsPerLabel_ = step;
}

void ParameterChart::setPoints(const QList<QPointF> &points)
{
    series_->replace(points);
    if (points.isEmpty()) {
        axisY_->setTickCount(ValueTicks);
        axisY_->setRange(0, 1);
        return;
    }
    auto [lowest, highest] =
        std::minmax_element(points.cbegin(), points.cend(),
                            [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
    double min = lowest->y();
    double max = highest->y();
    if (min == max) {
        const double pad = min == 0 ? 1 : std::abs(min) * 0.1;
        min -= pad;
        max += pad;
    }
    // Round numbers at both ends and on every tick. Worked out here rather than with
    // QValueAxis::applyNiceNumbers(), which would lay the axis out a second time.
    const double step = niceNumber(niceNumber(max - min, true) / (ValueTicks - 1), false);
    const double low = std::floor(min / step);
    const double high = std::ceil(max / step);
    axisY_->setTickCount(static_cast<int>(high - low) + 1);
    axisY_->setRange(low * step, high * step);
}

QList<QPointF> ParameterChart::points() const
{
    return series_->points();
}
