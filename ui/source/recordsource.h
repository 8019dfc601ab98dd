#pragma once

#include "decoding_run.h"

#include <QObject>
#include <QString>
#include <memory>


namespace kesta {

class LiveSession;
class RunController;
struct LiveOptions;

struct ProgramState;
class RecordStore;
struct TelemetryRecord;

// Where the windows' records come from: a log decoded on a thread of its own, or a live
// session as its frames arrive. It holds the one store the windows show and the record
// shown, and says when either changes; it has no widgets, and the windows only listen.
//
// Both producers fill a store of their own and hand their records over: a decoded run all
// at once at its end (a failed or cancelled run hands over nothing), a session its new
// records each time frames arrive. The store on view is only ever written here.
class RecordSource : public QObject
{
    Q_OBJECT

public:
    // `state` holds the store on view and the paths of the last run; the application owns
    // it, this source is the only one to change it.
    explicit RecordSource(ProgramState &state, QObject *parent = nullptr);
    // Cancels a run still going and ends a session, each file written out and closed.
    ~RecordSource() override;

    const ProgramState &state() const { return m_state; }
    const RecordStore &store() const;

    // ---- Logs ----
    // Starts decoding a log; false when a run is going already. runEnded() follows.
    bool startRun(const RunRequest &request);
    bool isRunning() const;
    void cancelRun();
    // Cancels and waits until the run has ended; its files are discarded.
    void cancelRunAndWait();
    // The decoded run whose records are on view (its passes and counts); null while a
    // session's records are, or before the first log.
    const RunResult *decodedRun() const { return m_decoded.get(); }

    // ---- Live sessions ----
    // Starts a session with `options` (its records are kept, whatever they say); on
    // failure `error` says why and the records on view stay. The store is emptied for the
    // session's records and recordsReset() sent.
    bool startLive(LiveOptions options, QString &error);
    // Ends the session going on; liveEnded() follows.
    void stopLive();
    // A session is connecting, connected or waiting to reconnect.
    bool isLive() const;
    // The session on view, going on or ended; null while a log is on view.
    LiveSession *liveSession() const { return m_live.get(); }

    // The records of the log, or the frames of the session so far (more than the store
    // holds once a session passes 1000).
    qint64 recordTotal() const;

    // ---- The record shown ----
    // Its number: from 1 in a log, the session number in a session; 0 for none.
    qint64 shownNumber() const { return m_shown; }
    // Its store index (1 to RecordCount), 0 when it is not held.
    int shownIndex() const;
    // The record shown, null when none is held.
    const TelemetryRecord *shownRecord() const;
    // Shows record `number`; shownRecordChanged() follows even when it was shown already
    // (its record may be another after a reset).
    void showRecord(qint64 number);

signals:
    // The store holds other records: a decoded log, or the (empty) start of a session.
    void recordsReset();
    // A session's records `firstNumber` onwards (`count` of them) arrived.
    void recordsAppended(qint64 firstNumber, int count);
    void shownRecordChanged(qint64 number);
    // A run has started reading its log.
    void runStarted();
    // Bytes of the log read so far and its size (-1 when unknown: a pipe or FIFO).
    void runProgress(qint64 bytesRead, qint64 totalBytes);
    // A run has ended, whatever its outcome; a decoded one after recordsReset().
    void runEnded(std::shared_ptr<const kesta::RunResult> result);
    // The InfluxDB sender of a run or a session: its state in words.
    void influxStatusChanged(const QString &text);
    // The session's state changed (connecting, connected, retrying, ended).
    void liveStateChanged();
    // The session has ended; `ok` is false when it could not connect.
    void liveEnded(bool ok);

private:
    void runFinished(std::shared_ptr<RunResult> result);
    void takeLiveRecords();
    // Stops and drops the session, if any.
    void releaseLive();

    ProgramState &m_state;
    RunController *m_runs = nullptr;
    std::unique_ptr<LiveSession> m_live;
    std::shared_ptr<const RunResult> m_decoded;
    qint64 m_shown = 0;
};

} // namespace kesta
