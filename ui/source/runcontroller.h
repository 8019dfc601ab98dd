#pragma once

#include "decoding_run.h"
#include "logjob.h"

#include <QObject>
#include <memory>

// Carries out one decoding run at a time on a thread of its own. The result comes back on
// the thread the controller lives on; until then nothing of the program state is touched,
// so a cancelled run leaves the view and every earlier file as it was.
class RunController : public QObject
{
    Q_OBJECT

public:
    explicit RunController(QObject *parent = nullptr);

    // Starts a run; false when one is already going.
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
    // The run has ended, whatever its outcome. The records of a decoded run are in
    // result->store.
    void finished(std::shared_ptr<kesta::RunResult> result);

private:
    LogJob m_job;
    std::shared_ptr<kesta::RunResult> m_result; // of the run going on
};
