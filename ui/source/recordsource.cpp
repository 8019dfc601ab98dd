#include "recordsource.h"

#include "livesession.h"
#include "program_state.h"
#include "runcontroller.h"

#include <algorithm>
#include <string>

namespace kesta {

RecordSource::RecordSource(ProgramState &state, QObject *parent)
    : QObject(parent), m_state(state), m_runs(new RunController(this))
{
    connect(m_runs, &RunController::progress, this, &RecordSource::runProgress);
    connect(m_runs, &RunController::influxStatusChanged, this,
            &RecordSource::influxStatusChanged);
    connect(m_runs, &RunController::finished, this, &RecordSource::runFinished);
}

RecordSource::~RecordSource()
{
    // The run first: it still refers to nothing here, but its signals would.
    delete m_runs;
    if (m_live) {
        m_live->disconnect(this); // nobody is left to hear how it ended
        m_live->stop();
    }
}

const RecordStore &RecordSource::store() const
{
    return m_state.store;
}

bool RecordSource::startRun(const RunRequest &request)
{
    if (!m_runs->start(request))
        return false;
    emit runStarted();
    return true;
}

bool RecordSource::isRunning() const
{
    return m_runs->isRunning();
}

void RecordSource::cancelRun()
{
    m_runs->cancel();
}

void RecordSource::cancelRunAndWait()
{
    m_runs->cancelAndWait();
}

void RecordSource::runFinished(std::shared_ptr<RunResult> result)
{
    if (result->report.outcome == RunReport::Outcome::Decoded) {
        releaseLive();
        ApplyRun(m_state, *result); // the records move into the store on view
        m_decoded = result;
        m_shown = 0;
        emit recordsReset();
    }
    emit runEnded(result);
}

bool RecordSource::startLive(LiveOptions options, QString &error)
{
    options.keepRecords = true;
    auto session = std::make_unique<LiveSession>(options);
    connect(session.get(), &LiveSession::stateChanged, this, &RecordSource::liveStateChanged);
    connect(session.get(), &LiveSession::framesArrived, this, &RecordSource::takeLiveRecords);
    connect(session.get(), &LiveSession::finished, this, &RecordSource::liveEnded);
    connect(session.get(), &LiveSession::influxStatusChanged, this,
            &RecordSource::influxStatusChanged);
    if (!session->start()) {
        error = session->error();
        return false; // the session on view until now stays so
    }
    releaseLive();
    m_live = std::move(session);

    m_state.InputPath = options.recordingPath;
    m_state.DmpPath = m_live->dumpPath();
    if (options.writeTlm)
        m_state.TlmPath = m_live->tlmPath();
    // A session that never receives a frame leaves an empty recording and dump: they go
    // at exit like the empty files of a run.
    for (const std::string &path : {options.recordingPath, m_live->dumpPath()})
        m_state.createdFiles.push_back(path);

    if (options.influx)
        emit influxStatusChanged(tr("InfluxDB: sending to %1").arg(options.influx->display));
    m_state.store.reset();
    m_decoded.reset();
    m_shown = 0;
    emit recordsReset();
    emit liveStateChanged();
    return true;
}

void RecordSource::stopLive()
{
    if (m_live)
        m_live->stop();
}

bool RecordSource::isLive() const
{
    return m_live && m_live->state() != LiveSession::State::Disconnected;
}

void RecordSource::releaseLive()
{
    if (!m_live)
        return;
    m_live->disconnect(this);
    m_live->stop();
    m_live.reset();
}

void RecordSource::takeLiveRecords()
{
    if (!m_live)
        return;
    const RecordStore &from = m_live->records();
    RecordStore &to = m_state.store;
    if (from.RecordCount == 0 || (to.RecordCount > 0 && from.lastNumber() <= to.lastNumber()))
        return;
    const qint64 first = to.RecordCount > 0 ? to.lastNumber() + 1 : from.FirstNumber;
    if (first < from.FirstNumber || to.RecordCount == 0) {
        // More arrived than the store holds since the last hand-over (or the first
        // records): the session's store as it is.
        to = from;
    } else {
        for (qint64 number = first; number <= from.lastNumber(); ++number)
            to.pushNewest(from[static_cast<std::int16_t>(number - from.FirstNumber + 1)]);
    }
    const qint64 appended = std::min<qint64>(from.lastNumber() - first + 1, to.RecordCount);
    emit recordsAppended(to.lastNumber() - appended + 1, static_cast<int>(appended));
}

qint64 RecordSource::recordTotal() const
{
    if (m_live)
        return static_cast<qint64>(m_live->totals().frames);
    return m_state.store.RecordCount;
}

int RecordSource::shownIndex() const
{
    const RecordStore &store = m_state.store;
    const qint64 index = m_shown - store.FirstNumber + 1;
    return index >= 1 && index <= store.RecordCount ? static_cast<int>(index) : 0;
}

const TelemetryRecord *RecordSource::shownRecord() const
{
    const int index = shownIndex();
    return index > 0 ? &m_state.store[static_cast<std::int16_t>(index)] : nullptr;
}

void RecordSource::showRecord(qint64 number)
{
    m_shown = number;
    emit shownRecordChanged(number);
}

} // namespace kesta
