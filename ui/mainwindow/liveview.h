#pragma once

#include <QObject>

class QTimer;

namespace kesta {

class Form1;
class RecordSource;

// What the main window shows of a live session: a blank view when it starts, the newest
// record as frames arrive (unless the user went back to an earlier one), the frame counts,
// and the chart, map and table redrawn a few times a second rather than at every frame.
class LiveView : public QObject
{
    Q_OBJECT

public:
    LiveView(Form1 &window, RecordSource &source);

private:
    void recordsReset();
    void clearForSession();
    void recordsArrived();
    void stateChanged();
    void finished();
    void showCounts();
    void redraw();

    static constexpr int ChartIntervalMs = 250;
    Form1 &m_window;
    RecordSource &m_source;
    QTimer *m_chartTimer = nullptr;
};

} // namespace kesta
