#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>

class QLabel;

namespace kesta {

struct LoadReport;
struct SessionTotals;

// The main window's status bar fields for the log on view: the reception time of the record
// shown, the log's file name and the load report in short. Each is a label whose text is
// what a screen reader says, with what it is as its description.
//
// During a live session they speak of the session instead: its state whole on a line of its
// own above the others, the shown record's time, the recording's name and the frames
// received.
class RecordStatus : public QWidget
{
    Q_OBJECT

public:
    explicit RecordStatus(QWidget *parent = nullptr);

    // "2026-12-01 10:00:00.123 UTC", or "No reception time".
    static QString timeText(std::optional<std::int64_t> millisecondsSinceEpoch);
    // The load report in short: "400 frames · 400 timestamps", "1 frame · 3 skipped".
    static QString loadText(const kesta::SessionTotals &totals, const kesta::LoadReport &load);

    void showTime(std::optional<std::int64_t> millisecondsSinceEpoch);
    // The log's file name (the full path as its tool tip) and its load report.
    void showLog(const QString &path, const kesta::SessionTotals &totals,
                 const kesta::LoadReport &load);

    // A live session on view, recording into `recordingPath`: the state line and the frame
    // count take the load report's place until the next showLog().
    void showSession(const QString &recordingPath);
    void showSessionState(const QString &text);
    void showSessionFrames(std::uint64_t frames);
    bool showsSession() const;

    QLabel *timeLabel() const { return m_time; }
    QLabel *fileLabel() const { return m_file; }
    QLabel *loadLabel() const { return m_load; }

private:
    QLabel *m_time = nullptr;
    QLabel *m_file = nullptr;
    QLabel *m_load = nullptr;
    QLabel *m_sessionState = nullptr;
    QLabel *m_sessionFrames = nullptr;
};

} // namespace kesta
