#pragma once

#include <QChartView>
#include <QList>
#include <QPointF>

class QLineSeries;
class QValueAxis;

// The chart of one parameter over the records of a log: one series, one point per record,
// x = record number. The X axis is a category axis of record numbers: up to
// AutoScaleLimit records it spaces its labels itself, above that it carries a label and a
// tick every labelStep() records.
class ParameterChart : public QChartView
{
    Q_OBJECT

public:
    static constexpr int AutoScaleLimit = 100;

    explicit ParameterChart(QWidget *parent = nullptr);

    // Sets the number of rows (records) the chart spans and the X axis scale for it.
    // The points are left as they are. The axis spans record numbers firstRow to
    // firstRow + rows - 1: 1 to rows for a log, the newest records of a live session
    // at their session numbers.
    void setRowCount(int rows, qint64 firstRow = 1);
    int rowCount() const { return rows_; }
    qint64 firstRow() const { return firstRow_; }

    // Replaces the points: one per record, x = record number, y = its value. The value axis
    // is scaled to them.
    void setPoints(const QList<QPointF> &points);
    QList<QPointF> points() const;

    // True while the X axis spaces its labels itself (RowCount up to AutoScaleLimit).
    bool isAutoScale() const { return rows_ <= AutoScaleLimit; }
    // Records between two labels and ticks of the X axis as it is drawn now.
    int divisionsPerLabel() const { return divisionsPerLabel_; }

    // Records between labels and ticks for a fixed scale: rows / 20 to the nearest whole
    // number, a tie going to the even neighbour (101 gives 5, 110 gives 6, 1000 gives 50).
    static int labelStep(int rows);

private:
    QLineSeries *series_;
    QValueAxis *axisX_;
    QValueAxis *axisY_;
    int rows_ = 0;
    qint64 firstRow_ = 1;
    int divisionsPerLabel_ = 1;
};
