// The parameter chart as the user handles it: the point under the mouse and its read-out,
// the shown record's marker, zooming and panning by mouse, wheel and keys, the context menu
// and saving the picture. Drawing the records and the axes is in parameterchart.cpp.

#include "parameterchart.h"
#include "chartexport.h"
#include "layoutstyle.h"
#include "savefilechooser.h"
#include <QAction>
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFontMetricsF>
#include <QGraphicsEllipseItem>
#include <QGraphicsLayout>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QSettings>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace kesta {

namespace {

// Each notch of the wheel narrows (or widens) the X span by this factor.
constexpr double WheelZoom = 0.8;

} // namespace

// Mapping between axis values and chart coordinates: both axes are linear.
QPointF ParameterChart::toPixel(double x, double y) const
{
    const QRectF plot = chart()->plotArea();
    const QValueAxis *ax = xAxis();
    const double px = plot.left() + (x - ax->min()) / (ax->max() - ax->min()) * plot.width();
    const double py =
        plot.bottom() - (y - axisY_->min()) / (axisY_->max() - axisY_->min()) * plot.height();
    return {px, py};
}

double ParameterChart::toAxisX(qreal pixel) const
{
    const QRectF plot = chart()->plotArea();
    const QValueAxis *ax = xAxis();
    return ax->min() + (pixel - plot.left()) / plot.width() * (ax->max() - ax->min());
}

std::optional<QPointF> ParameterChart::pointPosition(int record) const
{
    for (int i : plotted_) {
        const Sample &s = samples_[static_cast<std::size_t>(i)];
        if (s.record != record)
            continue;
        const double x = *sampleX(s);
        if (x < viewFrom_ || x > viewTo_)
            return std::nullopt;
        const QPointF inChart = toPixel(x, s.value);
        return mapFromScene(chart()->mapToScene(inChart));
    }
    return std::nullopt;
}

int ParameterChart::nearestSample(const QPointF &position) const
{
    const QPointF at = chart()->mapFromScene(mapToScene(position.toPoint()));
    if (!chart()
             ->plotArea()
             .adjusted(-PickRadius, -PickRadius, PickRadius, PickRadius)
             .contains(at))
        return -1;
    int best = -1;
    double bestDistance = PickRadius * PickRadius;
    for (int i : plotted_) {
        const Sample &s = samples_[static_cast<std::size_t>(i)];
        const double x = *sampleX(s);
        if (x < viewFrom_ || x > viewTo_)
            continue;
        const QPointF p = toPixel(x, s.value);
        const double dx = p.x() - at.x();
        const double dy = p.y() - at.y();
        // Nearest along the axis first: the point in the mouse's column is the one meant.
        const double distance = dx * dx + 0.25 * dy * dy;
        if (std::abs(dx) <= PickRadius && distance <= bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

QString ParameterChart::readoutText(int record, double value, std::optional<qint64> timeMs) const
{
    QString valueLine = numberText(value);
    if (!unit_.isEmpty())
        valueLine += QLatin1Char(' ') + unit_;
    const QString time = timeMs ? QDateTime::fromMSecsSinceEpoch(*timeMs, Qt::UTC)
                                          .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) +
                                      tr(" UTC")
                                : tr("no time");
    return tr("Record %1\n%2\n%3").arg(record).arg(valueLine, time);
}

QString ParameterChart::readout() const
{
    return readoutBox_->isVisible() ? readoutLabel_->text() : QString();
}

void ParameterChart::hideReadout()
{
    readoutSample_ = -1;
    readoutRecord_ = 0;
    readoutBox_->hide();
    highlight_->hide();
}

void ParameterChart::showReadoutAt(const QPointF &position)
{
    const int index = nearestSample(position);
    if (index < 0) {
        hideReadout();
        return;
    }
    const Sample &s = samples_[static_cast<std::size_t>(index)];
    const QPointF point = toPixel(*sampleX(s), s.value);
    if (index != readoutSample_) {
        readoutSample_ = index;
        readoutRecord_ = s.record;
        readoutLabel_->setText(readoutText(s.record, s.value, s.timeMs));
        const QRectF text = readoutLabel_->boundingRect();
        readoutBox_->setRect(0, 0, text.width() + 8, text.height() + 4);
    }
    highlight_->setPos(point);
    highlight_->show();
    // Beside the point, inside the chart: to its right and above, else where there is room.
    const QRectF box = readoutBox_->rect();
    const QRectF area = chart()->plotArea();
    QPointF at(point.x() + 8, point.y() - box.height() - 6);
    if (at.x() + box.width() > area.right())
        at.setX(point.x() - box.width() - 8);
    if (at.y() < area.top())
        at.setY(point.y() + 6);
    at.setY(std::min(at.y(), area.bottom() - box.height()));
    at.setX(std::max(at.x(), area.left()));
    readoutBox_->setPos(at);
    readoutBox_->show();
}

void ParameterChart::setShownRecord(int record, std::optional<qint64> timeMs)
{
    shownRecord_ = record;
    shownTime_ = timeMs;
    updateOverlays();
}

bool ParameterChart::isMarkerVisible() const
{
    return marker_->isVisible();
}

qreal ParameterChart::markerPosition() const
{
    return mapFromScene(marker_->mapToScene(marker_->line().p1())).x();
}

void ParameterChart::updateOverlays()
{
    updateBoundLines();
    const QRectF plot = chart()->plotArea();
    std::optional<double> x;
    if (shownRecord_ >= firstRow_ && shownRecord_ < firstRow_ + rows_)
        x = timeAxis_ ? (shownTime_ ? std::optional<double>(static_cast<double>(*shownTime_))
                                    : std::nullopt)
                      : std::optional<double>(shownRecord_);
    if (x && *x >= viewFrom_ && *x <= viewTo_ && plot.width() > 0) {
        const double px = toPixel(*x, 0).x();
        marker_->setLine(px, plot.top(), px, plot.bottom());
        marker_->show();
    } else {
        marker_->hide();
    }
    if (readoutSample_ >= 0) {
        const Sample &s = samples_[static_cast<std::size_t>(readoutSample_)];
        const std::optional<double> sx = sampleX(s);
        if (sx && *sx >= viewFrom_ && *sx <= viewTo_)
            highlight_->setPos(toPixel(*sx, s.value));
        else
            hideReadout();
    }
}

void ParameterChart::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QChartView::mousePressEvent(event);
        return;
    }
    pressPosition_ = event->position().toPoint();
    pressFrom_ = viewFrom_;
    pressTo_ = viewTo_;
    pressedSample_ = nearestSample(event->position());
    if (event->modifiers() & Qt::ShiftModifier) {
        drag_ = Drag::Band;
        // The span is being chosen: nothing read out or tipped stands over it.
        hideReadout();
        QToolTip::hideText();
        const QRectF plot = chart()->plotArea();
        band_->setGeometry(QRect(pressPosition_.x(), static_cast<int>(plot.top()), 1,
                                 static_cast<int>(plot.height())));
        band_->show();
    } else {
        drag_ = Drag::Pending;
    }
    event->accept();
}

void ParameterChart::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    switch (drag_) {
    case Drag::None:
        showReadoutAt(event->position());
        break;
    case Drag::Pending:
        if ((at - pressPosition_).manhattanLength() < QApplication::startDragDistance())
            break;
        drag_ = Drag::Pan;
        hideReadout();
        setCursor(Qt::ClosedHandCursor);
        [[fallthrough]];
    case Drag::Pan: {
        const double perPixel = (pressTo_ - pressFrom_) / chart()->plotArea().width();
        const double shift = -(at.x() - pressPosition_.x()) * perPixel;
        showXRange(pressFrom_ + shift, pressTo_ + shift);
        break;
    }
    case Drag::Band: {
        const QRectF plot = chart()->plotArea();
        const int left = std::min(at.x(), pressPosition_.x());
        const int width = std::abs(at.x() - pressPosition_.x()) + 1;
        band_->setGeometry(
            QRect(left, static_cast<int>(plot.top()), width, static_cast<int>(plot.height())));
        break;
    }
    }
    event->accept();
}

void ParameterChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || drag_ == Drag::None) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    const Drag ended = drag_;
    drag_ = Drag::None;
    const int x = event->position().toPoint().x();
    if (ended == Drag::Pending && pressedSample_ >= 0) {
        emit recordClicked(samples_[static_cast<std::size_t>(pressedSample_)].record);
    } else if (ended == Drag::Pan) {
        unsetCursor();
    } else if (ended == Drag::Band) {
        band_->hide();
        if (std::abs(x - pressPosition_.x()) >= 4)
            showXRange(toAxisX(chart()->mapFromScene(mapToScene(pressPosition_)).x()),
                       toAxisX(chart()->mapFromScene(mapToScene(QPoint(x, 0))).x()));
    }
    showReadoutAt(event->position());
    event->accept();
}

void ParameterChart::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        resetZoom();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void ParameterChart::wheelEvent(QWheelEvent *event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) {
        event->ignore();
        return;
    }
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    zoomX(std::pow(WheelZoom, notches), toAxisX(at.x()));
    readoutSample_ = -1; // the points moved under the mouse
    showReadoutAt(event->position());
    event->accept();
}

void ParameterChart::keyPressEvent(QKeyEvent *event)
{
    const double span = viewTo_ - viewFrom_;
    const double middle = (viewFrom_ + viewTo_) / 2;
    switch (event->key()) {
    case Qt::Key_Escape:
        if (!isZoomed())
            break;
        resetZoom();
        return;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomX(WheelZoom, middle);
        return;
    case Qt::Key_Minus:
        zoomX(1 / WheelZoom, middle);
        return;
    case Qt::Key_Left:
        showXRange(viewFrom_ - span / 10, viewTo_ - span / 10);
        return;
    case Qt::Key_Right:
        showXRange(viewFrom_ + span / 10, viewTo_ + span / 10);
        return;
    default:
        break;
    }
    QChartView::keyPressEvent(event);
}

void ParameterChart::leaveEvent(QEvent *event)
{
    if (drag_ == Drag::None)
        hideReadout();
    QChartView::leaveEvent(event);
}

bool ParameterChart::event(QEvent *event)
{
    // The read-out says more than the tool tip; the tip waits for a place without a point,
    // and for the end of a drag.
    if (event->type() == QEvent::ToolTip && (readoutBox_->isVisible() || drag_ != Drag::None))
        return true;
    // With the chart focused, its own keys pan and zoom it before the window's record
    // shortcuts (the arrows) can take them.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            switch (key->key()) {
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Plus:
            case Qt::Key_Equal:
            case Qt::Key_Minus:
                event->accept();
                return true;
            case Qt::Key_Escape:
                if (isZoomed()) {
                    event->accept();
                    return true;
                }
                break;
            default:
                break;
            }
        }
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
        viewport()->update(); // the focus frame
    return QChartView::event(event);
}

void ParameterChart::resizeEvent(QResizeEvent *event)
{
    QChartView::resizeEvent(event);
    updateOverlays();
}

void ParameterChart::paintEvent(QPaintEvent *event)
{
    QChartView::paintEvent(event);
    if (!hasFocus())
        return;
    // The chart has no frame of its own: a focused chart shows one, as a box shows its
    // cursor, so that the keyboard's user sees where the arrows go.
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(viewport()->rect()).adjusted(1, 1, -1, -1));
}

void ParameterChart::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(timeAxisAction_);
    resetZoomAction_->setEnabled(isZoomed());
    menu.addAction(resetZoomAction_);
    menu.addSeparator();
    menu.addAction(saveAction_);
    menu.addAction(copyAction_);
    menu.exec(event->globalPos());
}

void ParameterChart::setSaveChooser(SaveFileChooser *chooser)
{
    chooser_ = chooser ? chooser : defaultChooser_.get();
}

void ParameterChart::saveChart()
{
    const QString suggested =
        (name_.isEmpty() ? QStringLiteral("chart") : name_) + QStringLiteral(".png");
    const QString path =
        chooser_->chooseSaveFile(window(), tr("Save Chart"), chartexport::filters(), suggested)
            .path;
    if (path.isEmpty())
        return;
    const QString error = saveChartTo(path);
    if (!error.isEmpty())
        QMessageBox::warning(window(), tr("Save Chart"), QStringLiteral("%1: %2").arg(path, error));
}

// While a picture of the chart is made: no read-out or highlighted point, and the
// parameter's name as the chart's title, for a picture seen away from the program.
class ParameterChart::PictureLook
{
public:
    explicit PictureLook(ParameterChart &chart)
        : chart_(chart), readoutShown_(chart.readoutBox_->isVisible()),
          highlightShown_(chart.highlight_->isVisible())
    {
        chart.readoutBox_->hide();
        chart.highlight_->hide();
        chart.chart()->setTitle(chart.name_);
        settle();
    }
    ~PictureLook()
    {
        chart_.chart()->setTitle(QString());
        settle();
        chart_.readoutBox_->setVisible(readoutShown_);
        chart_.highlight_->setVisible(highlightShown_);
        chart_.updateOverlays();
    }
    PictureLook(const PictureLook &) = delete;
    PictureLook &operator=(const PictureLook &) = delete;

private:
    // The title takes its room now, not at the next event loop turn.
    void settle()
    {
        if (QGraphicsLayout *layout = chart_.chart()->layout())
            layout->activate();
    }

    ParameterChart &chart_;
    bool readoutShown_;
    bool highlightShown_;
};

QString ParameterChart::saveChartTo(const QString &path)
{
    const PictureLook look(*this);
    return chartexport::save(*this, path, accessibleName(), accessibleDescription());
}

QImage ParameterChart::chartImage()
{
    const PictureLook look(*this);
    return chartexport::render(*this);
}

void ParameterChart::copyChart()
{
    QApplication::clipboard()->setImage(chartImage());
}

} // namespace kesta
