#include "runcontroller.h"

#include <QFile>
#include <QFileInfo>

RunController::RunController(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<std::shared_ptr<kesta::RunResult>>();
}

RunController::~RunController()
{
    if (m_thread) {
        cancelAndWait();
        delete m_thread;
    }
}

bool RunController::start(const kesta::RunRequest &request)
{
    if (m_thread)
        return false;
    auto result = std::make_shared<kesta::RunResult>();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_result = result;
    m_cancel = cancel;
    const QFileInfo log(QFile::decodeName(QByteArray::fromStdString(request.inputPath)));
    const qint64 total = log.isFile() ? log.size() : -1;
    // The controller outlives the thread (its destructor waits for it), so the thread
    // may signal through it; the signal is queued to the controller's own thread.
    m_thread = QThread::create([this, request, result, cancel, total] {
        kesta::ReadControl control;
        control.cancel = [cancel] { return cancel->load(std::memory_order_relaxed); };
        QElapsedTimer sinceReport;
        sinceReport.start();
        control.progress = [&](std::uint64_t bytesRead) {
            if (sinceReport.elapsed() < 40)
                return;
            sinceReport.restart();
            emit progress(static_cast<qint64>(bytesRead), total);
        };
        *result = kesta::ExecuteRun(request, control);
    });
    m_thread->setObjectName(QStringLiteral("decoding run"));
    connect(m_thread, &QThread::finished, this, &RunController::threadDone);
    m_thread->start();
    return true;
}

void RunController::cancel()
{
    if (m_cancel)
        *m_cancel = true;
}

void RunController::cancelAndWait()
{
    cancel();
    if (m_thread)
        m_thread->wait();
}

void RunController::threadDone()
{
    QThread *thread = m_thread;
    m_thread = nullptr;
    m_cancel.reset();
    std::shared_ptr<kesta::RunResult> result = std::move(m_result);
    thread->deleteLater();
    if (result)
        emit finished(result);
}
