#include "logjob.h"

#include <QElapsedTimer>
#include <QThread>

namespace kesta {

LogJob::LogJob(QObject *parent) : QObject(parent) {}

LogJob::~LogJob()
{
    if (m_thread) {
        cancelAndWait();
        delete m_thread;
    }
}

bool LogJob::start(const QString &threadName, Work work)
{
    if (m_thread)
        return false;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancel;
    // The job outlives the thread (its destructor waits for it), so the thread may signal
    // through it; the signal is queued to the job's own thread.
    m_thread = QThread::create([this, work = std::move(work), cancel] {
        kesta::ReadControl control;
        control.cancel = [cancel] { return cancel->load(std::memory_order_relaxed); };
        QElapsedTimer sinceReport;
        sinceReport.start();
        control.progress = [&](std::uint64_t bytesRead, std::optional<std::uint64_t> size) {
            if (sinceReport.elapsed() < 40)
                return;
            sinceReport.restart();
            emit progress(static_cast<qint64>(bytesRead), size ? static_cast<qint64>(*size) : -1);
        };
        work(control);
    });
    m_thread->setObjectName(threadName);
    connect(m_thread, &QThread::finished, this, &LogJob::threadDone);
    m_thread->start();
    return true;
}

void LogJob::cancel()
{
    if (m_cancel)
        *m_cancel = true;
}

void LogJob::cancelAndWait()
{
    cancel();
    if (m_thread)
        m_thread->wait();
}

void LogJob::threadDone()
{
    QThread *thread = m_thread;
    m_thread = nullptr;
    m_cancel.reset();
    thread->deleteLater();
    emit done();
}

} // namespace kesta
