#include "runcontroller.h"

#include "influx_sender.h"
#include "influxdialog.h"
#include "stationdialog.h"

namespace kesta {

RunController::RunController(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<std::shared_ptr<kesta::RunResult>>();
    connect(&m_job, &LogJob::progress, this, &RunController::progress);
    connect(&m_job, &LogJob::done, this, [this] {
        if (std::shared_ptr<kesta::RunResult> result = std::move(m_result))
            emit finished(result);
    });
}

RunController::~RunController()
{
    m_job.cancelAndWait();
}

bool RunController::start(const kesta::RunRequest &request)
{
    if (m_job.isRunning())
        return false;
    auto result = std::make_shared<kesta::RunResult>();
    m_result = result;
    // The settings are read here, on the windows' thread.
    const std::optional<InfluxTarget> influx = InfluxDialog::target();
    const std::string station = influx ? StationDialog::station().toStdString() : std::string();
    return m_job.start(QStringLiteral("decoding run"),
                       [this, request, result, influx, station](const kesta::ReadControl &control) {
                           if (influx)
                               sendWhileRunning(request, control, *influx, station, *result);
                           else
                               *result = kesta::ExecuteRun(request, control);
                       });
}

// On the run's thread: the sender works on that thread's events, between the log's blocks
// and after the last one.
void RunController::sendWhileRunning(const kesta::RunRequest &request,
                                     const kesta::ReadControl &control, const InfluxTarget &target,
                                     const std::string &station, kesta::RunResult &result)
{
    InfluxSenderOptions options;
    options.target = target;
    options.line.station = station;
    options.spoolPath = InfluxStateSpoolFor(target);
    options.spoolMode = InfluxSpool::Mode::Adopt;
    options.spoolAlternatives = 15; // runs into one server side by side, as for decodes
    InfluxSender sender(std::move(options));
    connect(&sender, &InfluxSender::statusChanged, this, &RunController::influxStatusChanged);

    QString problem;
    if (sender.spoolPath().empty())
        problem = tr("no folder for the InfluxDB spool file: neither XDG_STATE_HOME nor HOME is "
                     "set; nothing was sent");
    else if (!sender.start())
        problem = sender.error() + tr("; nothing was sent");
    if (!problem.isEmpty()) {
        result = kesta::ExecuteRun(request, control);
        if (result.report.outcome == kesta::RunReport::Outcome::Decoded)
            result.report.warnings.push_back(
                (QStringLiteral("InfluxDB: ") + problem).toLocal8Bit().toStdString());
        emit influxStatusChanged(QStringLiteral("InfluxDB: ") + problem);
        return;
    }

    kesta::RunRequest run = request;
    run.moreSinks.push_back(&sender);
    kesta::ReadControl paced = control;
    paced.cancel = [&sender, &control] {
        // The server gets its turn between blocks, and holds the run back while behind.
        sender.waitForRoom(control.cancel);
        return control.cancel && control.cancel();
    };
    result = kesta::ExecuteRun(run, paced);
    if (result.report.outcome != kesta::RunReport::Outcome::Decoded) {
        // The files of the run are discarded; so are its lines not yet sent.
        sender.abandon();
        if (sender.sentLines() > 0 || sender.waitingLines() > 0)
            emit influxStatusChanged(sender.summary());
        return;
    }
    sender.finish();
    sender.waitUntilFinished(control.cancel);
    if (!sender.isFinished())
        sender.spoolAndFinish(); // cancelled while the last lines went: they wait
    if (sender.state() == InfluxSender::State::Refused) {
        result.report.warnings.push_back(sender.error().toLocal8Bit().toStdString());
        QString text = QStringLiteral("InfluxDB: ") + sender.error();
        if (sender.waitingLines() > 0)
            text += tr("; %1 lines wait in %2")
                        .arg(sender.waitingLines())
                        .arg(QString::fromLocal8Bit(sender.spoolPath()));
        emit influxStatusChanged(text);
        return;
    }
    emit influxStatusChanged(sender.summary());
}

} // namespace kesta
