#pragma once

#include <QElapsedTimer>
#include <QObject>

class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;

namespace kesta {

class InfluxStatus;
class RecordStatus;

class RecordSource;

// What the status bar says of the record source: a run's progress with its Cancel button
// (shown only when a run lasts), the live session's state, counting down while it waits
// to reconnect, and the InfluxDB sender's state.
class SourceStatus : public QObject
{
    Q_OBJECT

public:
    SourceStatus(RecordSource &source, QStatusBar *bar);

    // The record's fields, which step aside while the progress is shown.
    void setRecordStatus(RecordStatus *status);
    bool isProgressShown() const;
    // The reception time of the record at scroll bar position `position` (a session's
    // record number, a log's record from 1); nothing for a position without a record.
    void showRecordTime(int position);

private:
    void showProgress(bool shown);
    void runStarted();
    void runProgress(qint64 bytesRead, qint64 totalBytes);
    void liveStateChanged();
    void liveEnded();

    // How long a run goes before its progress is shown.
    static constexpr int ProgressDelayMs = 300;
    static constexpr int LiveStateTickMs = 250;

    RecordSource &m_source;
    QStatusBar *m_bar;
    RecordStatus *m_recordStatus = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancel = nullptr;
    InfluxStatus *m_influx = nullptr;
    QTimer *m_liveTick = nullptr;
    QElapsedTimer m_runClock;
};

} // namespace kesta
