#pragma once

#include "limit_set.h"

#include <QChartView>
#include <QList>
#include <QPointF>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCategoryAxis;
class QGraphicsEllipseItem;
class QGraphicsLineItem;
class QGraphicsRectItem;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QRubberBand;
class QValueAxis;

namespace kesta {

class ChartLimitMarks;
class SaveFileChooser;

// The chart of one parameter over the records of a log: one series, one point per record
// whose frame carried the parameter, x = record number. The X axis is a value axis of
// record numbers: up to AutoScaleLimit records it spaces its labels itself, above that it
// carries a label and a tick every labelStep() records.
//
// It can be explored: the point nearest the mouse is read out (record, value, reception
// time), a click on a point asks for that record (recordClicked), a vertical marker stands
// at the record shown in the main window, the wheel zooms the X axis around the mouse,
// Shift+drag zooms to the dragged span, a drag pans, and a double-click or Esc shows the
// whole range again. The X axis can show reception times instead of record numbers
// ("Time Axis", remembered between sessions). "Save Chart..." and "Copy Chart" are in its
// context menu.
class ParameterChart : public QChartView
{
    Q_OBJECT

public:
    static constexpr int AutoScaleLimit = 100;
    // How far from a point the mouse may be for it to be read out or clicked, in pixels.
    static constexpr int PickRadius = 12;

    explicit ParameterChart(QWidget *parent = nullptr);
    ~ParameterChart() override;

    // Sets the number of rows (records) the chart spans and the X axis scale for it.
    // The points are left as they are. The axis spans record numbers firstRow to
    // firstRow + rows - 1: 1 to rows for a log, the newest records of a live session
    // at their session numbers. A different span shows the whole range.
    void setRowCount(int rows, qint64 firstRow = 1);
    int rowCount() const { return rows_; }
    qint64 firstRow() const { return firstRow_; }

    // Replaces the points: one per record, x = record number, y = its value. The value axis
    // is scaled to them. `timesMs` holds each point's reception time in milliseconds since
    // 1970-01-01 00:00 UTC (empty for a record without one); missing entries count as none.
    void setPoints(const QList<QPointF> &points);
    void setPoints(const QList<QPointF> &points, const QList<std::optional<qint64>> &timesMs);
    QList<QPointF> points() const;

    // Limits: the chart draws the bounds of its field as lines across the plot (amber for
    // the warning range, red for the critical one) and marks the points outside them, a
    // triangle for a warning and a square for critical. Null, or a field without limits:
    // neither. Set before setPoints(), whose points are then judged.
    void setLimitSet(std::shared_ptr<const LimitSet> limits);
    void setField(std::optional<Field> field);
    // The records of the points marked at `level` (warning or critical), in series order.
    QList<int> markedRecords(LimitLevel level) const;
    // The value of each bound line drawn: warning low and high, critical low and high.
    QList<double> boundLines() const;

    // The parameter plotted: its name (titles the value axis when it has no unit) and its
    // unit (titles the value axis and follows each value read out).
    void setParameter(const QString &name, const QString &unit);
    QString parameterName() const { return name_; }
    QString unit() const { return unit_; }
    QString valueAxisTitle() const;
    QString xAxisTitle() const;

    // True while the X axis spaces its labels itself (RowCount up to AutoScaleLimit).
    bool isAutoScale() const { return rows_ <= AutoScaleLimit; }
    // Records between two labels and ticks of the X axis as it is drawn now.
    int divisionsPerLabel() const { return divisionsPerLabel_; }

    // Records between labels and ticks for a fixed scale: rows / 20 to the nearest whole
    // number, a tie going to the even neighbour (101 gives 5, 110 gives 6, 1000 gives 50).
    static int labelStep(int rows);

    // The record the main window shows, by its number (firstRow() onwards): the marker
    // stands at it (at `timeMs` on the time axis, hidden there when the record has no
    // time). 0 hides the marker.
    void setShownRecord(int record, std::optional<qint64> timeMs = std::nullopt);
    int shownRecord() const { return shownRecord_; }
    bool isMarkerVisible() const;
    // The marker's X position in the viewport, in pixels.
    qreal markerPosition() const;

    // The read-out of the point nearest the mouse, empty when none is read out, and that
    // point's record number (0 for none).
    QString readout() const;
    int readoutRecord() const { return readoutRecord_; }
    // The read-out of a point: "Record 12", "3.5 mA", "2026-12-01 10:00:00.123 UTC" (or
    // "no time"), one to a line; numbers with the locale's decimal separator.
    QString readoutText(int record, double value, std::optional<qint64> timeMs) const;
    // The viewport position of the point of record `record`, if it is plotted and in view.
    std::optional<QPointF> pointPosition(int record) const;

    // The X range in view and the whole range, in axis units (record numbers, or
    // milliseconds since 1970 on the time axis).
    QPointF visibleXRange() const;
    QPointF fullXRange() const;
    bool isZoomed() const;
    // Zooms the X axis by `factor` (below 1 narrows) keeping `centre` (axis units) in place.
    void zoomX(double factor, double centre);
    // Shows the X span [from, to] (axis units), kept within the whole range.
    void showXRange(double from, double to);
    void resetZoom();

    // The X axis of reception times: offered while some point has a time.
    bool isTimeAxis() const { return timeAxis_; }
    bool canShowTimeAxis() const;
    void setTimeAxis(bool on);
    // The settings key that remembers the choice.
    static QString timeAxisSettingsKey();

    // The context menu's commands; the main window puts them into its menus too.
    QAction *timeAxisAction() const { return timeAxisAction_; }
    QAction *saveChartAction() const { return saveAction_; }
    QAction *copyChartAction() const { return copyAction_; }

    // "Save Chart...": asks where, then writes PNG or SVG by the name's ending.
    void setSaveChooser(SaveFileChooser *chooser);
    void saveChart();
    // Writes the chart as shown (without the read-out) to `path`; empty text on success,
    // else the reason.
    QString saveChartTo(const QString &path);
    // "Copy Chart": the chart as an image on the clipboard.
    void copyChart();
    QImage chartImage();

signals:
    // A click on the point of record `recordNumber`.
    void recordClicked(int recordNumber);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    class PictureLook;
    struct Sample
    {
        int record;
        double value;
        std::optional<qint64> timeMs;
    };
    enum class Drag
    {
        None,
        Pending, // pressed, not yet moved far enough to pan
        Pan,
        Band
    };

    QValueAxis *xAxis() const;
    void applyRecordScale(double from, double to);
    void applyTimeScale(double from, double to);
    void applyXRange(double from, double to);
    void rebuildSeries();
    void updateFullRange();
    void updateOverlays();
    void updateDescription();
    void updateLocale();
    void hideReadout();
    void showReadoutAt(const QPointF &position);
    // Index into samples_ of the plotted point nearest `position` within PickRadius, or -1.
    int nearestSample(const QPointF &position) const;
    QPointF toPixel(double x, double y) const;
    double toAxisX(qreal pixel) const;
    std::optional<double> sampleX(const Sample &sample) const;
    QString numberText(double value) const;

    void judgeSamples();
    void updateBoundLines();

    QLineSeries *series_;
    std::unique_ptr<ChartLimitMarks> limitMarks_;
    std::optional<Field> field_;
    QValueAxis *axisX_;
    QCategoryAxis *timeAxisX_;
    QValueAxis *axisY_;
    int rows_ = 0;
    qint64 firstRow_ = 1;
    int divisionsPerLabel_ = 1;
    double labelFitWidth_ = 0; // the plot width the record labels were spaced for

    std::vector<Sample> samples_;
    std::vector<int> plotted_; // indices into samples_ of the series' points, in its order
    QString name_;
    QString unit_;
    double yMin_ = 0;
    double yMax_ = 1;

    bool timeAxis_ = false;
    bool timeAxisWanted_ = false;
    double fullFrom_ = 0.5;
    double fullTo_ = 1.5;
    double viewFrom_ = 0.5;
    double viewTo_ = 1.5;

    int shownRecord_ = 0;
    std::optional<qint64> shownTime_;
    QGraphicsLineItem *marker_;
    QGraphicsEllipseItem *highlight_;
    QGraphicsRectItem *readoutBox_;
    QGraphicsSimpleTextItem *readoutLabel_;
    int readoutSample_ = -1;
    int readoutRecord_ = 0;

    Drag drag_ = Drag::None;
    QPoint pressPosition_;
    double pressFrom_ = 0;
    double pressTo_ = 0;
    int pressedSample_ = -1;
    QRubberBand *band_;

    QAction *timeAxisAction_;
    QAction *saveAction_;
    QAction *copyAction_;
    QAction *resetZoomAction_;
    std::unique_ptr<SaveFileChooser> defaultChooser_;
    SaveFileChooser *chooser_;
};

} // namespace kesta
