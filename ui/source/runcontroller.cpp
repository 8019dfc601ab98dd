#include "runcontroller.h"

RunController::RunController(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<std::shared_ptr<kesta::RunResult>>();
    connect(&m_job, &LogJob::progress, this, &RunController::progress);
    connect(&m_job, &LogJob::done, this, [this] {
        if (std::shared_ptr<kesta::RunResult> result = std::move(m_result))
            emit finished(result);
    });
}

bool RunController::start(const kesta::RunRequest &request)
{
    if (m_job.isRunning())
        return false;
    auto result = std::make_shared<kesta::RunResult>();
    m_result = result;
    return m_job.start(QStringLiteral("decoding run"),
                       [request, result](const kesta::ReadControl &control) {
                           *result = kesta::ExecuteRun(request, control);
                       });
}
