#include "passoverlay.h"

#include "layoutstyle.h"
#include "record_store.h"

#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QShortcut>
#include <QValueAxis>
#include <algorithm>
#include <limits>

namespace kesta {

PassOverlay::PassOverlay(QWidget *parent) : QChartView(new QChart, parent)
{
    setObjectName(QStringLiteral("PassOverlay"));
    setWindowTitle(tr("Overlay Passes"));
    setRenderHint(QPainter::Antialiasing, true);
    chart()->setAnimationOptions(QChart::NoAnimation);
    chart()->legend()->setAlignment(Qt::AlignRight);
    chart()->setLocalizeNumbers(true);
    for (const QKeySequence &keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
    resize(760, 420);
}

void PassOverlay::draw(const RecordStore &store, const std::vector<Pass> &passes, Field field,
                       const LimitSet *limits)
{
    QChart *chart = this->chart();
    chart->removeAllSeries();
    // The chart gives a removed axis back to its caller: the last drawing's are deleted.
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const FieldInfo &info = InfoOf(field);
    const QString unit = QString::fromLatin1(info.unit.data(), static_cast<qsizetype>(info.unit.size()));
    const QString label =
        QString::fromLatin1(info.spoken.data(), static_cast<qsizetype>(info.spoken.size()));
    chart->setTitle(unit.isEmpty() ? tr("%1 in each pass").arg(label)
                                   : tr("%1 [%2] in each pass").arg(label, unit));

    auto *x = new QValueAxis;
    x->setTitleText(tr("Seconds since the pass's start"));
    x->setLabelFormat(QStringLiteral("%.0f"));
    auto *y = new QValueAxis;
    y->setTitleText(unit.isEmpty() ? label : unit);
    y->setLabelFormat(QStringLiteral("%.6g"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    double xMax = 1;
    double yMin = std::numeric_limits<double>::max();
    double yMax = std::numeric_limits<double>::lowest();
    const int held = std::max<int>(store.RecordCount, 0);
    for (std::size_t p = 0; p < passes.size(); ++p) {
        const Pass &pass = passes[p];
        if (!pass.start)
            continue;
        QList<QPointF> points;
        const auto last = std::min<std::uint64_t>(pass.last, static_cast<std::uint64_t>(held));
        for (std::uint64_t r = pass.first; r <= last; ++r) {
            const TelemetryRecord &record = store[static_cast<std::int16_t>(r)];
            if (!record.ReceptionTime || !record.Written.test(field))
                continue;
            const auto value = FieldNumber(record, field);
            if (!value)
                continue;
            const double seconds = static_cast<double>(*record.ReceptionTime - *pass.start) / 1000.0;
            points.append(QPointF(seconds, *value));
            xMax = std::max(xMax, seconds);
            yMin = std::min(yMin, *value);
            yMax = std::max(yMax, *value);
        }
        if (points.isEmpty())
            continue;
        auto *series = new QLineSeries;
        series->setName(tr("Pass %1").arg(p + 1));
        series->replace(points);
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    // The limits' bounds as flat lines over the whole width, not in the legend.
    if (const FieldLimits *given = limits ? limits->limitsOf(field) : nullptr) {
        const auto bound = [&](const std::optional<LimitRange> &range, bool critical) {
            if (!range)
                return;
            for (const std::optional<double> &value : {range->low, range->high}) {
                if (!value)
                    continue;
                auto *line = new QLineSeries;
                line->append(0, *value);
                line->append(xMax, *value);
                line->setPen(QPen(critical ? QColor(200, 0, 0) : QColor(214, 130, 0), 1,
                                  critical ? Qt::SolidLine : Qt::DashLine));
                chart->addSeries(line);
                line->attachAxis(x);
                line->attachAxis(y);
                chart->legend()->markers(line).value(0)->setVisible(false);
                yMin = std::min(yMin, *value);
                yMax = std::max(yMax, *value);
            }
        };
        bound(given->warning, false);
        bound(given->critical, true);
    }
    if (yMin > yMax) {
        yMin = 0;
        yMax = 1;
    } else if (yMin == yMax) {
        yMin -= 1;
        yMax += 1;
    }
    x->setRange(0, xMax);
    y->setRange(yMin, yMax);
    y->applyNiceNumbers();
}

int PassOverlay::lineCount() const
{
    int lines = 0;
    for (QAbstractSeries *series : chart()->series())
        if (chart()->legend()->markers(series).value(0) &&
            chart()->legend()->markers(series).value(0)->isVisible())
            ++lines;
    return lines;
}

} // namespace kesta
