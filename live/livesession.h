#pragma once

#include "decoding_session.h"
#include "hostport.h"
#include "influx_target.h"
#include "output_plan.h"
#include "record_store.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTcpSocket;

namespace kesta {

class InfluxSender;
class TcpConnector;

// The spool file of a live session's InfluxDB lines, beside its recording:
// /logs/pass.kss -> /logs/pass.spool.lp
std::string InfluxSpoolNameFor(const std::string &recordingPath);

// What a live session writes and where it listens.
struct LiveOptions
{
    HostPort server;
    std::string recordingPath; // the new log the received frames are recorded in
    bool writeDump = true;
    bool writeTlm = true;
    std::optional<std::string> csvPath; // "-": standard output
    std::optional<std::string> jsonlPath;
    std::optional<std::string> influxPath;
    // Send the records to this InfluxDB server as well; lines that wait for it are
    // kept beside the recording (InfluxSpoolNameFor).
    std::optional<InfluxTarget> influx;
    bool reconnect = false; // retry a lost or refused connection until stopped
    // The receiving station: the tag station=NAME of the line protocol and the Station
    // column of the exports; empty for none.
    std::string station;
    // Asked while an output waits for a FIFO's reader or for a reader that does not
    // read (from a signal handler's flag, say); true ends the wait and that file fails.
    std::function<bool()> stopRequested;
    // Keep the newest 1000 records (records()) for whoever shows them as frames arrive.
    bool keepRecords = false;
};

// Decodes a pass while it is received from a KISS TCP server (the demodulator's or
// decoder's KISS server port, 8001 or 8100 by custom), on the same decoding session as
// a log. The received frames are recorded into a new log, each behind one timestamp
// frame (the server's own when it sent one right before the frame, otherwise the time
// the frame's closing FEND arrived), and the dump, TLM and export files are written
// beside it as frames arrive, so that decoding the recording afterwards gives the same
// files byte for byte. Nothing here blocks: it runs on the event loop of its thread.
class LiveSession : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        Idle,
        Connecting,
        Connected,
        Retrying,     // the connection was lost or refused; the next attempt is timed
        Disconnected, // ended: every file is complete and closed
    };
    Q_ENUM(State)

    explicit LiveSession(LiveOptions options, QObject *parent = nullptr);
    ~LiveSession() override;

    // Creates the recording and the output files and connects. False when a file is
    // refused or cannot be created (error() names it and the reason); nothing is left.
    bool start();
    // Ends the session cleanly: a frame still being received is dropped, every file is
    // written out and closed. finished() follows.
    void stop();

    State state() const { return m_state; }
    // The state in words; while retrying it counts the seconds down to the next attempt.
    QString stateText() const;
    // While retrying: the seconds until the next attempt, rounded up; 0 otherwise.
    int retrySecondsLeft() const;
    // While retrying: the next attempt now, without waiting for the rest of the delay.
    void reconnectNow();
    QString error() const { return m_error; }
    // True when start() refused what it was asked (outputs that are one file, an empty
    // name): a usage error rather than a file that failed.
    bool errorIsUsage() const { return m_errorIsUsage; }
    // Files that failed while the session ran, one message each.
    const std::vector<std::string> &outputErrors() const { return m_outputErrors; }
    // The frames decoded; after a session whose recording failed (a full disk), those
    // the recording holds.
    const SessionTotals &totals() const
    {
        return m_storedTotals ? *m_storedTotals : m_session.totals();
    }
    // With the records the line protocol file left out for their time.
    LoadReport report() const;
    const LiveOptions &options() const { return m_options; }
    std::string dumpPath() const;
    std::string tlmPath() const;
    // The newest 1000 records, with keepRecords; an empty store without.
    const kesta::RecordStore &records() const;
    // The InfluxDB sender while the session runs and after it, null without one.
    const InfluxSender *influxSender() const { return m_influxSender.get(); }

    // The delays between attempts to reconnect: 1, 2, 4 ... 30 s.
    static int retryDelaySeconds(int attempt);
    // For tests: shorter delays (milliseconds per second of the rule).
    void setRetryUnitMilliseconds(int ms) { m_retryUnitMs = ms; }

signals:
    void stateChanged(LiveSession::State state, const QString &text);
    // New frames were decoded; the newest has session number `lastNumber`.
    void framesArrived(qint64 lastNumber);
    // The session has ended; `ok` is false when it could not connect (without retrying).
    // With an InfluxDB server, this waits until the last lines are sent or spooled.
    void finished(bool ok);
    // The InfluxDB sender's status: lines waiting for the server, its refusal.
    void influxStatusChanged(const QString &text);

private:
    std::optional<std::string> checkInfluxSpool() const;
    void connectToServer();
    void onConnected(qintptr descriptor);
    void onReadyRead();
    void onLost(const QString &reason);
    void setState(State state, const QString &text);
    QString retryText() const;
    void flushOutputs();
    bool recording() const { return m_outputs && m_outputs->file(OutputKind::Recording); }
    bool anyOutputFailed() const { return m_outputs && m_outputs->anyFailed(); }
    // Keeps the error of every file that has failed, once each.
    void noteFailures(std::vector<std::string> errors);
    void closeFiles();
    // Finishes the files at the end: written out and closed, or removed when no frame
    // was recorded.
    void endFiles();
    void countStoredFrames();

    LiveOptions m_options;
    DecodingSession m_session;
    std::vector<char> m_chunk; // what was read from the socket, reused
    QTcpSocket *m_socket = nullptr;
    TcpConnector *m_connector = nullptr;
    QTimer m_retryTimer;
    QTimer m_flushTimer;
    int m_attempt = 0;
    int m_retryUnitMs = 1000;
    bool m_everConnected = false;
    bool m_flushEveryChunk = false;
    State m_state = State::Idle;
    QString m_stateText;
    QString m_retryCause; // "Connection lost (reason)" while retrying
    QString m_error;
    bool m_errorIsUsage = false;
    std::optional<SessionTotals> m_storedTotals;
    std::vector<std::string> m_outputErrors;

    std::unique_ptr<kesta::OutputPlan> m_outputs;
    std::unique_ptr<kesta::RecordStore> m_records; // with keepRecords
    std::optional<kesta::RollingStoreSink> m_storeSink;
    std::optional<kesta::PacedFlushSink> m_pacedFlush;
    std::unique_ptr<InfluxSender> m_influxSender;
};

} // namespace kesta
