#pragma once

#include "decoding_session.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace kesta {

class FileChooser;
class Form1;
class RecordSource;
struct RunReport;
struct RunResult;

// "Open", "Reload" and a log dropped or named on the command line: starts the run on the
// record source, shows the decoded log where the view should stand (record 1 and the mode
// status, or the place a reload keeps), and gives the run's message when it is over.
class LogOpener : public QObject
{
    Q_OBJECT

public:
    static constexpr int ChartedParameterOnOpen = 13;

    LogOpener(Form1 &window, RecordSource &source);
    ~LogOpener() override;

    // Where "Open" asks for a log; not owned, null for a Qt file dialog.
    void setFileChooser(FileChooser *chooser);
    // "Open": asks for the log, then decodes it.
    void chooseAndOpen();
    // Decodes the log at `path` on a thread of its own; runEnded() follows.
    void open(const QString &path);
    // "Reload" (F5): the log on view again, at the record and parameter on view.
    void reload();
    // The load report of the last decoded log; empty before the first.
    const std::optional<LoadReport> &lastLoadReport() const { return m_lastLoad; }

signals:
    void runEnded();
    void recordsChanged();

private:
    void recordsReset();
    void runFinished(const std::shared_ptr<const RunResult> &result);
    void showDecodedLog();
    void noteDecodedRun(const RunReport &report);

    Form1 &m_window;
    RecordSource &m_source;
    std::unique_ptr<FileChooser> m_defaultChooser;
    FileChooser *m_chooser = nullptr;
    std::optional<LoadReport> m_lastLoad;
    // Where the view stands after the next decoded log: record 1 and the mode status,
    // unless a reload keeps the place it had.
    struct ShownPlace
    {
        int record = 1;
        int parameter = ChartedParameterOnOpen;
    };
    ShownPlace m_placeOnReload;
    QString m_runPath; // the log of the run going on or last run
};

} // namespace kesta
