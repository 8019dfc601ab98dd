#include "parameterchart.h"

#include "chartexport.h"
#include "chartlimitmarks.h"
#include "chartscale.h"
#include "layoutstyle.h"
#include "savefilechooser.h"
#include "value_text.h"

#include <QAction>
#include <QCategoryAxis>
#include <QChart>
#include <QFontMetricsF>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QLineSeries>
#include <QLocale>
#include <QRubberBand>
#include <QSettings>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

namespace kesta {

namespace {

constexpr int ValueTicks = 5;
// Labels on a zoomed record axis (as many as the record rule gives the whole range), at most.
constexpr int ZoomedRecordLabels = 20;
// The narrowest spans the X axis zooms to.
constexpr double MinRecordSpan = 2;
constexpr double MinTimeSpanMs = 200;

} // namespace

ParameterChart::ParameterChart(QWidget *parent)
    : QChartView(new QChart, parent), series_(new QLineSeries), axisX_(new QValueAxis),
      timeAxisX_(new QCategoryAxis), axisY_(new QValueAxis), marker_(new QGraphicsLineItem),
      highlight_(new QGraphicsEllipseItem), readoutBox_(new QGraphicsRectItem),
      readoutLabel_(new QGraphicsSimpleTextItem(readoutBox_)),
      band_(new QRubberBand(QRubberBand::Rectangle, viewport())),
      timeAxisAction_(new QAction(tr("Time Axis"), this)),
      saveAction_(new QAction(tr("Save Chart..."), this)),
      copyAction_(new QAction(tr("Copy Chart"), this)),
      resetZoomAction_(new QAction(tr("Reset Zoom"), this)),
      defaultChooser_(std::make_unique<QtSaveFileChooser>()), chooser_(defaultChooser_.get())
{
    setObjectName(QStringLiteral("MSChart1"));
    setToolTip(tr("graphical value"));
    setRenderHint(QPainter::Antialiasing, true);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    // Drawn whole on every change: minimal updates repaint only the items' bounding
    // rectangles, which the antialiased series and its markers overreach by a pixel, so a
    // parameter switched or a live rescale left traces of the old points. 1000 points
    // draw in well under a frame.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);

    // The view owns the chart it was made with; setChart() would leave that one behind.
    QChart *chart = this->chart();
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setMargins(QMargins(2, 2, 6, 2));
    chart->setBackgroundRoundness(0);
    chart->setBackgroundBrush(layoutstyle::BackgroundColor);
    chart->setLocalizeNumbers(true);
    QFont titleFont = layoutstyle::defaultFont();
    titleFont.setBold(true);
    chart->setTitleFont(titleFont); // shown only in a saved or copied picture

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
    QFont axisTitleFont = font;
    axisTitleFont.setPointSizeF(font.pointSizeF() * 0.9);
    for (QValueAxis *axis : {axisX_, static_cast<QValueAxis *>(timeAxisX_), axisY_}) {
        axis->setLabelsFont(font);
        axis->setTitleFont(axisTitleFont);
        // Localised labels need the precision spelt out.
        axis->setLabelFormat(QStringLiteral("%.6g"));
        axis->setMinorTickCount(0);
        axis->setTruncateLabels(false);
    }
    axisX_->setLabelFormat(QStringLiteral("%.0f"));
    axisX_->setTickType(QValueAxis::TicksDynamic);
    axisX_->setTitleText(tr("Record"));
    timeAxisX_->setTitleText(tr("Reception time (UTC)"));
    timeAxisX_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axisY_->setRange(0, 1);
    axisY_->setTickCount(ValueTicks);
    chart->addAxis(axisX_, Qt::AlignBottom);
    chart->addAxis(timeAxisX_, Qt::AlignBottom);
    timeAxisX_->setVisible(false);
    chart->addAxis(axisY_, Qt::AlignLeft);
    series_->attachAxis(axisX_);
    series_->attachAxis(axisY_);

    // Points outside limits, marked over the line, and the bounds across the plot.
    limitMarks_ = std::make_unique<ChartLimitMarks>(chart);
    for (QXYSeries *marks : limitMarks_->series()) {
        marks->attachAxis(axisX_);
        marks->attachAxis(axisY_);
    }

    // The marker, the highlighted point and the read-out, over the series.
    marker_->setParentItem(chart);
    marker_->setPen(QPen(QColor(200, 0, 0), 1, Qt::DashLine));
    marker_->setZValue(1000);
    marker_->hide();
    highlight_->setParentItem(chart);
    highlight_->setPen(QPen(QColor(200, 0, 0), 1.5));
    highlight_->setBrush(Qt::NoBrush);
    highlight_->setRect(-5, -5, 10, 10);
    highlight_->setZValue(1001);
    highlight_->hide();
    readoutBox_->setParentItem(chart);
    readoutBox_->setPen(QPen(QColor(96, 96, 96)));
    readoutBox_->setBrush(QColor(255, 255, 225, 235));
    readoutBox_->setZValue(1002);
    readoutLabel_->setFont(font);
    readoutLabel_->setPos(4, 2);
    readoutBox_->hide();
    band_->hide();

    timeAxisAction_->setObjectName(QStringLiteral("ChartTimeAxis"));
    timeAxisAction_->setCheckable(true);
    timeAxisAction_->setEnabled(false);
    saveAction_->setObjectName(QStringLiteral("ChartSave"));
    copyAction_->setObjectName(QStringLiteral("ChartCopy"));
    resetZoomAction_->setObjectName(QStringLiteral("ChartResetZoom"));
    connect(timeAxisAction_, &QAction::triggered, this, [this](bool on) {
        timeAxisWanted_ = on;
        QSettings().setValue(timeAxisSettingsKey(), on);
        setTimeAxis(on);
    });
    connect(saveAction_, &QAction::triggered, this, &ParameterChart::saveChart);
    connect(copyAction_, &QAction::triggered, this, &ParameterChart::copyChart);
    connect(resetZoomAction_, &QAction::triggered, this, &ParameterChart::resetZoom);
    connect(chart, &QChart::plotAreaChanged, this, [this](const QRectF &plot) {
        // The record labels' spacing depends on the plot's width, known once laid out.
        if (!timeAxis_ && std::abs(plot.width() - labelFitWidth_) > 1)
            applyRecordScale(axisX_->min(), axisX_->max());
        updateOverlays();
    });

    timeAxisWanted_ = QSettings().value(timeAxisSettingsKey(), false).toBool();
    setRowCount(0);
    updateDescription();
}

ParameterChart::~ParameterChart() = default;

QString ParameterChart::timeAxisSettingsKey()
{
    return QStringLiteral("chart/timeAxis");
}

int ParameterChart::labelStep(int rows)
{
    return chartscale::labelStep(rows);
}

QValueAxis *ParameterChart::xAxis() const
{
    return timeAxis_ ? timeAxisX_ : axisX_;
}

void ParameterChart::setRowCount(int rows, qint64 firstRow)
{
    const int before = rows_;
    const qint64 firstBefore = firstRow_;
    rows_ = std::max(rows, 0);
    firstRow_ = firstRow;
    // Categories are centred on their record number, half a division from each edge.
    const double from = static_cast<double>(firstRow_) - 0.5;
    const double to = static_cast<double>(firstRow_) + std::max(rows_, 1) - 0.5;
    if (timeAxis_) {
        applyRecordScale(from, to); // kept ready for the switch back
        return;
    }
    fullFrom_ = from;
    fullTo_ = to;
    if (rows_ != before || firstRow_ != firstBefore || !isZoomed())
        resetZoom();
    else
        applyXRange(viewFrom_, viewTo_);
}

void ParameterChart::applyRecordScale(double from, double to)
{
    int step = 1;
    int anchor = 1;
    if (from <= static_cast<double>(firstRow_) - 0.5 &&
        to >= static_cast<double>(firstRow_) + std::max(rows_, 1) - 0.5) {
        step = isAutoScale() ? chartscale::automaticStep(rows_) : labelStep(rows_);
        anchor = isAutoScale() && step > 1 ? 0 : 1;
    } else {
        // Zoomed in: round record numbers, about ZoomedRecordLabels of them.
        step = std::max(
            1, static_cast<int>(chartscale::niceNumber((to - from) / ZoomedRecordLabels, true)));
        anchor = 0;
    }
    // Long record numbers (a long live session's seven digits) are wider than the rule's
    // spacing: it then widens to round steps that keep them a digit apart.
    // Labels that touch by less than half a digit (four digits at the rule's 20 labels)
    // keep the rule. Before the chart is laid out there is no width to go by.
    labelFitWidth_ = isVisible() ? chart()->plotArea().width() : 0;
    if (labelFitWidth_ > 0) {
        const QFontMetricsF metrics(axisX_->labelsFont());
        const double digit = metrics.horizontalAdvance(QLatin1Char('0'));
        const QString widest =
            QString::number(static_cast<qint64>(std::max(std::abs(from), std::abs(to))));
        const double labelWidth = metrics.horizontalAdvance(widest);
        const double perRecord = labelFitWidth_ / (to - from);
        if (step * perRecord < labelWidth - digit / 2) {
            // A digit's width apart at least.
            step = std::max(step, static_cast<int>(chartscale::niceNumber(
                                      (labelWidth + digit) / perRecord, true)));
            anchor = 0;
        }
    }
    // A wider spacing goes in before a longer range and a narrower one after a shorter
    // range, so that the axis never lays out a label for every record on the way.
    if (step >= divisionsPerLabel_) {
        axisX_->setTickInterval(step);
        axisX_->setRange(from, to);
    } else {
        axisX_->setRange(from, to);
        axisX_->setTickInterval(step);
    }
    axisX_->setTickAnchor(anchor);
    divisionsPerLabel_ = step;
}

void ParameterChart::applyTimeScale(double from, double to)
{
    const double span = to - from;
    const qint64 step = chartscale::timeStep(span);
    const QString format = chartscale::timeLabelFormat(step, span);
    for (const QString &label : timeAxisX_->categoriesLabels())
        timeAxisX_->remove(label);
    timeAxisX_->setRange(from, to);
    timeAxisX_->setStartValue(from);
    const qint64 first = static_cast<qint64>(std::ceil(from / static_cast<double>(step))) * step;
    for (qint64 t = first; static_cast<double>(t) <= to; t += step)
        timeAxisX_->append(chartscale::utcText(t, format), static_cast<double>(t));
}

void ParameterChart::applyXRange(double from, double to)
{
    viewFrom_ = from;
    viewTo_ = to;
    if (timeAxis_)
        applyTimeScale(from, to);
    else
        applyRecordScale(from, to);
    updateOverlays();
}

QPointF ParameterChart::visibleXRange() const
{
    return {viewFrom_, viewTo_};
}

QPointF ParameterChart::fullXRange() const
{
    return {fullFrom_, fullTo_};
}

bool ParameterChart::isZoomed() const
{
    const double tolerance = (fullTo_ - fullFrom_) * 1e-9;
    return viewFrom_ > fullFrom_ + tolerance || viewTo_ < fullTo_ - tolerance;
}

void ParameterChart::showXRange(double from, double to)
{
    if (from > to)
        std::swap(from, to);
    const double fullSpan = fullTo_ - fullFrom_;
    const double minimum = std::min(timeAxis_ ? MinTimeSpanMs : MinRecordSpan, fullSpan);
    if (to - from < minimum) {
        const double middle = (from + to) / 2;
        from = middle - minimum / 2;
        to = middle + minimum / 2;
    }
    if (to - from >= fullSpan) {
        from = fullFrom_;
        to = fullTo_;
    } else if (from < fullFrom_) {
        to += fullFrom_ - from;
        from = fullFrom_;
    } else if (to > fullTo_) {
        from -= to - fullTo_;
        to = fullTo_;
    }
    applyXRange(from, to);
}

void ParameterChart::zoomX(double factor, double centre)
{
    centre = std::clamp(centre, viewFrom_, viewTo_);
    const double from = centre - (centre - viewFrom_) * factor;
    showXRange(from, from + (viewTo_ - viewFrom_) * factor);
}

void ParameterChart::resetZoom()
{
    applyXRange(fullFrom_, fullTo_);
}

void ParameterChart::setPoints(const QList<QPointF> &points)
{
    setPoints(points, {});
}

void ParameterChart::setPoints(const QList<QPointF> &points,
                               const QList<std::optional<qint64>> &timesMs)
{
    hideReadout();
    updateLocale();
    samples_.clear();
    samples_.reserve(static_cast<std::size_t>(points.size()));
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QPointF &p = points.at(i);
        samples_.push_back(
            {static_cast<int>(p.x()), p.y(), i < timesMs.size() ? timesMs.at(i) : std::nullopt});
    }
    judgeSamples();

    if (points.isEmpty()) {
        yMin_ = 0;
        yMax_ = 1;
        axisY_->setTickCount(ValueTicks);
        axisY_->setRange(0, 1);
    } else {
        auto [lowest, highest] =
            std::minmax_element(points.cbegin(), points.cend(),
                                [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
        yMin_ = lowest->y();
        yMax_ = highest->y();
        double min = yMin_;
        double max = yMax_;
        if (min == max) {
            const double pad = min == 0 ? 1 : std::abs(min) * 0.1;
            min -= pad;
            max += pad;
        }
        // Round numbers at both ends and on every tick. Worked out here rather than with
        // QValueAxis::applyNiceNumbers(), which would lay the axis out a second time.
        const double step = chartscale::niceNumber(
            chartscale::niceNumber(max - min, true) / (ValueTicks - 1), false);
        const double low = std::floor(min / step);
        const double high = std::ceil(max / step);
        axisY_->setTickCount(static_cast<int>(high - low) + 1);
        axisY_->setRange(low * step, high * step);
    }

    const bool offered = canShowTimeAxis();
    timeAxisAction_->setEnabled(offered);
    if (timeAxisWanted_ && offered) {
        if (timeAxis_) {
            rebuildSeries();
            const QPointF before = fullXRange();
            const bool zoomed = isZoomed();
            updateFullRange();
            if (zoomed && fullXRange() == before)
                applyXRange(viewFrom_, viewTo_);
            else
                resetZoom();
        } else {
            setTimeAxis(true);
        }
    } else if (timeAxis_) {
        setTimeAxis(false);
    } else {
        rebuildSeries();
    }
    {
        const QSignalBlocker quiet(timeAxisAction_);
        timeAxisAction_->setChecked(timeAxis_);
    }
    updateDescription();
    updateOverlays();
}

QList<QPointF> ParameterChart::points() const
{
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(samples_.size()));
    for (const Sample &s : samples_)
        list.append(QPointF(s.record, s.value));
    return list;
}

std::optional<double> ParameterChart::sampleX(const Sample &sample) const
{
    if (!timeAxis_)
        return sample.record;
    if (sample.timeMs)
        return static_cast<double>(*sample.timeMs);
    return std::nullopt;
}

void ParameterChart::rebuildSeries()
{
    plotted_.clear();
    plotted_.reserve(samples_.size());
    for (std::size_t i = 0; i < samples_.size(); ++i)
        if (sampleX(samples_[i]))
            plotted_.push_back(static_cast<int>(i));
    if (timeAxis_) {
        // In time order; a log whose clock stepped back still draws from left to right.
        std::stable_sort(plotted_.begin(), plotted_.end(), [this](int a, int b) {
            return *samples_[static_cast<std::size_t>(a)].timeMs <
                   *samples_[static_cast<std::size_t>(b)].timeMs;
        });
    }
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(plotted_.size()));
    for (int i : plotted_) {
        const Sample &s = samples_[static_cast<std::size_t>(i)];
        list.append(QPointF(*sampleX(s), s.value));
    }
    series_->replace(list);
    limitMarks_->mark(list, plotted_);
}

void ParameterChart::setLimitSet(std::shared_ptr<const LimitSet> limits)
{
    limitMarks_->setLimitSet(std::move(limits));
    judgeSamples();
    rebuildSeries();
    updateOverlays();
}

void ParameterChart::setField(std::optional<Field> field)
{
    field_ = field;
    limitMarks_->setField(field);
}

void ParameterChart::judgeSamples()
{
    std::vector<double> values;
    values.reserve(samples_.size());
    for (const Sample &s : samples_)
        values.push_back(s.value);
    limitMarks_->judge(values);
}

QList<int> ParameterChart::markedRecords(LimitLevel level) const
{
    QList<int> records;
    for (int i : plotted_)
        if (limitMarks_->judged() && limitMarks_->levelOf(static_cast<std::size_t>(i)) == level)
            records.append(samples_[static_cast<std::size_t>(i)].record);
    return records;
}

QList<double> ParameterChart::boundLines() const
{
    return limitMarks_->drawnBounds();
}

void ParameterChart::updateBoundLines()
{
    limitMarks_->placeLines(chart()->plotArea(), axisY_->min(), axisY_->max(),
                            [this](double y) { return toPixel(xAxis()->min(), y).y(); });
}

void ParameterChart::updateFullRange()
{
    if (!timeAxis_) {
        fullFrom_ = 0.5;
        fullTo_ = std::max(rows_, 1) + 0.5;
        return;
    }
    double first = std::numeric_limits<double>::max();
    double last = std::numeric_limits<double>::lowest();
    for (int i : plotted_) {
        const double t = *sampleX(samples_[static_cast<std::size_t>(i)]);
        first = std::min(first, t);
        last = std::max(last, t);
    }
    if (first > last) {
        first = 0;
        last = 1000;
    }
    const double pad = std::max((last - first) * 0.02, 500.0);
    fullFrom_ = first - pad;
    fullTo_ = last + pad;
}

bool ParameterChart::canShowTimeAxis() const
{
    return std::any_of(samples_.cbegin(), samples_.cend(),
                       [](const Sample &s) { return s.timeMs.has_value(); });
}

void ParameterChart::setTimeAxis(bool on)
{
    on = on && canShowTimeAxis();
    if (on != timeAxis_) {
        hideReadout();
        // Both axes stay in the chart; the one not in use is hidden and holds no series.
        QValueAxis *leaving = xAxis();
        timeAxis_ = on;
        const auto [warnings, criticals] = limitMarks_->series();
        for (QXYSeries *series : {static_cast<QXYSeries *>(series_), warnings, criticals}) {
            series->detachAxis(leaving);
            series->attachAxis(xAxis());
        }
        leaving->setVisible(false);
        xAxis()->setVisible(true);
        rebuildSeries();
        updateFullRange();
        resetZoom();
    }
    const QSignalBlocker quiet(timeAxisAction_);
    timeAxisAction_->setChecked(timeAxis_);
}

void ParameterChart::setParameter(const QString &name, const QString &unit)
{
    name_ = name.trimmed();
    unit_ = unit.trimmed();
    axisY_->setTitleText(valueAxisTitle());
    updateDescription();
}

QString ParameterChart::valueAxisTitle() const
{
    return unit_.isEmpty() ? name_ : unit_;
}

QString ParameterChart::xAxisTitle() const
{
    return xAxis()->titleText();
}

void ParameterChart::updateLocale()
{
    // The decimal separator of the value boxes, without digit grouping.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    if (chart()->locale() != locale)
        chart()->setLocale(locale);
}

QString ParameterChart::numberText(double value) const
{
    // As the value box shows it: 15 significant digits, a single-precision field's value
    // as the float it is, with the decimal separator of the boxes.
    const std::string separator = chart()->locale().decimalPoint().toStdString();
    const bool single = field_ && kesta::InfoOf(*field_).type == kesta::ValueType::F32;
    return QString::fromStdString(single ? kesta::ValueText(static_cast<float>(value), separator)
                                         : kesta::ValueText(value, separator));
}

void ParameterChart::updateDescription()
{
    const QString name = name_;
    setAccessibleName(name.isEmpty() ? tr("Chart") : tr("Chart of %1").arg(name));
    QString text;
    if (name.isEmpty()) {
        text = tr("No parameter chosen");
    } else if (samples_.empty()) {
        text = tr("%1: no points").arg(name);
    } else {
        QString suffix = unit_.isEmpty() ? QString() : QLatin1Char(' ') + unit_;
        text = tr("%1: %2 points, minimum %3%5, maximum %4%5")
                   .arg(name)
                   .arg(samples_.size())
                   .arg(numberText(yMin_), numberText(yMax_), suffix);
    }
    setAccessibleDescription(text);
}

} // namespace kesta
