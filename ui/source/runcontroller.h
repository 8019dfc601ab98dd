#pragma once

#include "decoding_run.h"
#include "influx_target.h"
#include "logjob.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>

namespace kesta {

// Carries out one decoding run at a time on a thread of its own. The result comes back on
// the thread the controller lives on; until then nothing of the program state is touched,
// so a cancelled run leaves the view and every earlier file as it was.
//
// With an InfluxDB server (Settings -> InfluxDB...), the run sends its records there as
// kesta-decode --influx-url does: in batches while the log is read, held back while the
// server is behind, and the run ends when the last line is sent or waits in the spool
// file of the user's state folder. A server that refuses the lines (4xx) does not stop
// the run, whose files are whole; its message is one of the run's warnings.
class RunController : public QObject
{
    Q_OBJECT

public:
    explicit RunController(QObject *parent = nullptr);
    // Cancels a run still going and waits for it, before the signals it sends are gone.
    ~RunController() override;

    // Starts a run; false when one is already going. The records go to the InfluxDB
    // server in force (InfluxDialog) too, tagged with the station in force.
    bool start(const kesta::RunRequest &request);
    // Asks the run to stop; it finishes soon after with the outcome Cancelled.
    void cancel() { m_job.cancel(); }
    // Cancels and waits until the run has ended (its finished() is still delivered
    // later, through the event loop, unless the controller is gone by then).
    void cancelAndWait() { m_job.cancelAndWait(); }
    bool isRunning() const { return m_job.isRunning(); }

signals:
    // Bytes read so far, and the log's size (-1 when unknown: a pipe or FIFO). Sent at
    // most every few dozen milliseconds.
    void progress(qint64 bytesRead, qint64 totalBytes);
    // The InfluxDB sender's state while the run goes on, and at its end what was sent,
    // what waits in the spool, or the server's refusal; for a status line.
    void influxStatusChanged(const QString &text);
    // The run has ended, whatever its outcome. The records of a decoded run are in
    // result->store.
    void finished(std::shared_ptr<kesta::RunResult> result);

private:
    void sendWhileRunning(const kesta::RunRequest &request, const kesta::ReadControl &control,
                          const InfluxTarget &target, const std::string &station,
                          kesta::RunResult &result);

    LogJob m_job;
    std::shared_ptr<kesta::RunResult> m_result; // of the run going on
};

} // namespace kesta
