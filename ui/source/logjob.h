#pragma once

#include "kiss_log.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace kesta {

// Reads a log on a thread of its own: the work is given a ReadControl whose cancel flag
// this job sets and whose progress it hands back, a few dozen times a second at most, on
// the thread the job lives on. One piece of work at a time. The decoding run and the
// export of the windows are such jobs, so that the windows keep repainting and answering
// while a long log, a slow disk or a FIFO is read.
class LogJob : public QObject
{
    Q_OBJECT

public:
    using Work = std::function<void(const kesta::ReadControl &control)>;

    explicit LogJob(QObject *parent = nullptr);
    // Cancels work still going and waits for it.
    ~LogJob() override;

    // Starts `work`; false when work is already going.
    bool start(const QString &threadName, Work work);
    // Asks the work to stop; it ends soon after.
    void cancel();
    // Cancels and waits until the work has ended (done() is still delivered later,
    // through the event loop, unless the job is gone by then).
    void cancelAndWait();
    bool isRunning() const { return m_thread != nullptr; }

signals:
    // Bytes read so far, and the log's size (-1 when unknown: a pipe or FIFO).
    void progress(qint64 bytesRead, qint64 totalBytes);
    // The work has ended, whatever its outcome.
    void done();

private:
    void threadDone();

    QThread *m_thread = nullptr;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

} // namespace kesta
