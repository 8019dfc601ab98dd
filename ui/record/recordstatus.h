#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>

class QLabel;

namespace kesta {
struct LoadReport;
struct SessionTotals;
} // namespace kesta

// The main window's status bar fields for the log on view: the reception time of the record
// shown, the log's file name and the load report in short. Each is a label whose text is
// what a screen reader says, with what it is as its description.
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

    QLabel *timeLabel() const { return m_time; }
    QLabel *fileLabel() const { return m_file; }
    QLabel *loadLabel() const { return m_load; }

private:
    QLabel *m_time = nullptr;
    QLabel *m_file = nullptr;
    QLabel *m_load = nullptr;
};
