#include "exportcommand.h"

#include "influx_export.h"
#include "savefilechooser.h"
#include "stationdialog.h"

#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <algorithm>

namespace kesta {

const QList<ExportCommand::Format> &ExportCommand::formats()
{
    static const QList<Format> list{
        {tr("CSV (*.csv)"),
         [](const std::string &station) {
             return RecordExportSink(RecordExporter::Format::Csv, station);
         }},
        {tr("JSON Lines (*.jsonl)"),
         [](const std::string &station) {
             return RecordExportSink(RecordExporter::Format::JsonLines, station);
         }},
        {tr("InfluxDB line protocol (*.lp)"),
         [](const std::string &station) -> ExportSinkFactory {
             return [station](OutputFile &file) -> std::unique_ptr<SessionSink> {
                 return std::make_unique<InfluxSink>(file, InfluxLineOptions{station});
             };
         }},
    };
    return list;
}

ExportCommand::ExportCommand(QWidget *window)
    : QObject(window), m_window(window), m_defaultChooser(std::make_unique<QtSaveFileChooser>()),
      m_chooser(m_defaultChooser.get())
{
    qRegisterMetaType<LogExportResult>();
    connect(&m_job, &LogJob::progress, this, &ExportCommand::showProgress);
    connect(&m_job, &LogJob::done, this, &ExportCommand::jobDone);
}

ExportCommand::~ExportCommand() = default;

void ExportCommand::setChooser(SaveFileChooser *chooser)
{
    m_chooser = chooser ? chooser : m_defaultChooser.get();
}

void ExportCommand::setErrorHandler(std::function<void(const QString &)> onError)
{
    m_onError = std::move(onError);
}

void ExportCommand::run(LogExportRequest request)
{
    if (isRunning())
        return;
    QStringList filters;
    for (const Format &format : formats())
        filters << format.filter;
    // The log's own name with the first format's ending is offered.
    const QFileInfo log(QFile::decodeName(QByteArray::fromStdString(request.logPath)));
    const QString suggested =
        log.completeBaseName().isEmpty()
            ? QString()
            : log.completeBaseName() + QLatin1Char('.') + FilterExtension(filters.first());
    const SaveFileChooser::Choice choice =
        m_chooser->chooseSaveFile(m_window, tr("Export Records"), filters, suggested);
    if (choice.path.isEmpty())
        return;
    start(choice.path, choice.filter, std::move(request));
}

bool ExportCommand::start(const QString &path, const QString &filter, LogExportRequest request)
{
    if (isRunning())
        return false;
    // A name that ends as one of the formats does is written in that format, whatever
    // filter was in force (as "Save Chart..." goes by the name); any other name in the
    // filter's.
    const QString ending = QFileInfo(path).suffix();
    auto format = std::find_if(formats().begin(), formats().end(), [&](const Format &f) {
        return !ending.isEmpty() &&
               FilterExtension(f.filter).compare(ending, Qt::CaseInsensitive) == 0;
    });
    if (format == formats().end())
        format = std::find_if(formats().begin(), formats().end(),
                              [&](const Format &f) { return f.filter == filter; });
    if (format == formats().end())
        return false;
    request.exportPath = QFile::encodeName(path).toStdString();
    // The station named in Settings when the export starts tags its records.
    request.makeSink = format->makeSink(StationDialog::station().toStdString());

    auto result = std::make_shared<LogExportResult>();
    m_result = result;
    m_path = path;
    const QFileInfo log(QFile::decodeName(QByteArray::fromStdString(request.logPath)));
    m_job.start(QStringLiteral("record export"),
                [request = std::move(request), result](const ReadControl &control) {
                    *result = ExportLog(request, control);
                });

    // Shown only when the export takes longer than a moment.
    auto *progress =
        new QProgressDialog(tr("Exporting the records of %1\nto %2").arg(log.fileName(), path),
                            tr("Cancel"), 0, 1000, m_window);
    progress->setObjectName(QStringLiteral("ExportProgress"));
    progress->setWindowTitle(tr("Export Records"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(300);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setValue(0);
    connect(progress, &QProgressDialog::canceled, this, &ExportCommand::cancel);
    m_progress = progress;
    return true;
}

void ExportCommand::showProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (!m_progress)
        return;
    if (totalBytes > 0) {
        m_progress->setValue(
            static_cast<int>(std::min<qint64>(bytesRead * 1000 / totalBytes, 999)));
    } else {
        m_progress->setRange(0, 0);
    }
}

void ExportCommand::jobDone()
{
    std::shared_ptr<LogExportResult> result = std::move(m_result);
    if (m_progress) {
        // Not from inside its own cancel handler: the dialog goes once the event loop is back.
        // Until then it must not come back: reset() stops the timer that would show it over
        // the message that follows.
        m_progress->reset();
        m_progress->hide();
        m_progress->deleteLater();
    }
    if (!result)
        return;
    using Outcome = LogExportResult::Outcome;
    if ((result->outcome == Outcome::Refused || result->outcome == Outcome::Failed) && m_onError)
        m_onError(QString::fromLocal8Bit(result->error));
    emit finished(*result, m_path);
}

} // namespace kesta
