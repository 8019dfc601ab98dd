#pragma once

#include "limit_set.h"
#include "log_health.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;

namespace kesta {

class Form1;
class LimitFrame;
class PassReportCommand;
class SaveFileChooser;

struct ProgramState;
struct RunResult;

// Is the satellite well: the limits file in force (Settings -> "Limits File...",
// remembered between runs) and what the main window shows of it. The value boxes of the
// record shown get a frame and a mark by level, a tool tip and a description such as
// "critical: 3.21 mA above 3"; the status bar counts the records of the whole log in
// warning and in critical (the limits file's path as its tool tip); the "Record" menu
// goes to the next or previous record outside limits (Ctrl+Shift+Right/Left). During a
// live session records are checked as they arrive. The judging itself is the core's
// LimitSet, as in kesta-decode.
class HealthWatch : public QObject
{
    Q_OBJECT

public:
    // Asks for a limits file; empty text when the user cancels.
    using FileAsker = std::function<QString(QWidget *parent, const QString &current)>;
    using ErrorHandler = std::function<void(const QString &text)>;

    HealthWatch(Form1 *window, ProgramState &state);
    ~HealthWatch() override;

    // The settings key that remembers the limits file.
    static QString settingsKey();

    // Reads the limits file at `path` and puts it in force; a log on view is decoded again
    // to count its records. On failure the error names the file, line and reason, and
    // the limits in force stay. True on success; an empty path takes the limits away.
    bool loadLimitsFile(const QString &path);
    // "Limits File...": asks for the file, then loads it.
    void chooseLimitsFile();
    void setFileAsker(FileAsker asker) { m_ask = std::move(asker); }
    void setErrorHandler(ErrorHandler onError) { m_onError = std::move(onError); }

    std::shared_ptr<const LimitSet> limits() const { return m_limits; }
    QString limitsPath() const { return m_path; }

    // A decoding run ended: takes its count of the whole log.
    void takeRun(const RunResult &result);
    // The worst level of a record of the store (1 to RecordCount).
    LimitLevel levelOfRecord(int index) const;
    // Ctrl+Shift+Right / Ctrl+Shift+Left: to the nearest record after (`direction` > 0) or
    // before the one shown with a field outside limits; stays when there is none.
    void goToOutside(int direction);
    // A live session has started: its records are checked as they arrive.
    void watchLive();

    // File -> "Save Pass Report...": the pass report of the log on view.
    void savePassReport();
    PassReportCommand *passReport() const { return m_report; }
    void setSaveChooser(SaveFileChooser *chooser);

    QLabel *statusLabel() const { return m_status; }
    QAction *limitsFileAction() const { return m_chooseAction; }
    QAction *savePassReportAction() const { return m_saveReport; }
    // Next and previous record outside limits.
    QList<QAction *> outsideActions() const { return {m_next, m_previous}; }

signals:
    // Other limits are in force (none after they were taken away).
    void limitsChanged();

private:
    void showMarks();
    void showCounts();
    void liveFramesArrived();
    void updateActions();

    Form1 *m_window;
    ProgramState &m_state;
    std::shared_ptr<const LimitSet> m_limits;
    QString m_path;
    // The whole log's count: from the run, or fed record by record in a live session.
    std::shared_ptr<const LimitSet> m_countedLimits;
    std::shared_ptr<const LogHealth> m_health;
    std::shared_ptr<LogHealth> m_liveHealth;
    std::int64_t m_liveCounted = 0; // the last session number counted
    bool m_live = false;

    std::array<LimitFrame *, 22> m_frames{};
    QLabel *m_status = nullptr;
    QAction *m_chooseAction = nullptr;
    QAction *m_saveReport = nullptr;
    PassReportCommand *m_report = nullptr;
    QAction *m_next = nullptr;
    QAction *m_previous = nullptr;
    FileAsker m_ask;
    ErrorHandler m_onError;
};

} // namespace kesta
