#pragma once

#include "decoding_session.h"
#include "influx_export.h"
#include "influx_spool.h"
#include "influx_target.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

class QNetworkReply;

namespace kesta {

struct InfluxSenderOptions
{
    InfluxTarget target;
    InfluxLineOptions line; // the station tag
    // Where lines wait while the server is away, and whether an earlier run's file
    // there is taken up (Adopt) or the file must be new (New).
    std::string spoolPath;
    InfluxSpool::Mode spoolMode = InfluxSpool::Mode::New;
    // Adopt: runs at the same time each take a file of their own, the spool path or one
    // of this many more ("influx-X.lp", "influx-X-2.lp", ...); lines an earlier run left
    // in any of them are taken up before an empty one is used.
    int spoolAlternatives = 0;
    // After the server refused the lines (4xx), the lines still to come wait in the
    // spool too (a live session goes on recording); otherwise they are let go.
    bool spoolAfterRefusal = false;
};

// Sends the records of a session to an InfluxDB server as line protocol, as they are
// decoded: a session sink that gathers lines into batches of at most 5000 lines or one
// second, whichever comes first, and posts them in order, gzip-compressed unless the
// server refuses that (415). Up to four requests are on their way at a time: Qt's HTTP client
// sends without TCP_NODELAY, so the end of each request waits for the server's delayed
// acknowledgement (40 ms on Linux), and the other requests keep the server busy meanwhile.
//
// Nothing is lost: while the server cannot be reached or answers 5xx, batches wait in
// the spool file, and are sent from it in order when it answers again, after 1, 2, 4 ...
// 30 s as for KISS reconnects; lines that come meanwhile queue behind them. A 4xx
// answer (no such database, a bad token, a bad line) stops the sending with the
// server's message; the spool stays as it is.
//
// Runs on the event loop of its thread. A log decode, which has no event loop of its
// own, lets it work between blocks with waitForRoom() and waits for the end with
// waitUntilFinished().
class InfluxSender final : public QObject, public SessionSink
{
    Q_OBJECT

public:
    enum class State
    {
        Sending,
        Waiting, // lines wait in the spool for the server
        Refused, // the server refused the lines; nothing more is sent
    };
    Q_ENUM(State)

    static constexpr std::uint64_t BatchLines = 5000;
    static constexpr int BatchMilliseconds = 1000;

    explicit InfluxSender(InfluxSenderOptions options, QObject *parent = nullptr);
    ~InfluxSender() override;

    // Takes up an earlier run's spool (Adopt) and starts sending what waits in it.
    // False when the spool file cannot be used; error() says why.
    bool start();
    // Ends now, without waiting for the server: the lines on their way or not yet sent
    // wait in the spool (a live session stopped a second time). finished() follows.
    void spoolAndFinish();
    void frame(const SessionFrame &frame) override;

    // No more lines come: the last batch goes now. finished() follows when every line
    // is sent, or waits in the spool after one more attempt, or was refused.
    void finish();
    bool isFinished() const { return m_finished; }
    // Stops at once: a request on its way is dropped, lines not yet sent or spooled are
    // let go (an interrupted decode); the spool keeps what it holds.
    void abandon();

    // For a log decode: lets the network work, then waits while more than a few batches
    // are held in memory (the server takes lines slower than a log decodes), until
    // `cancel` is set.
    void waitForRoom(const std::atomic<bool> *cancel);
    void waitForRoom(const std::function<bool()> &cancel);
    // For a log decode: runs the event loop until finished() or `cancel`.
    void waitUntilFinished(const std::atomic<bool> *cancel);
    void waitUntilFinished(const std::function<bool()> &cancel);

    State state() const { return m_state; }
    QString error() const { return m_error; } // the server's message when Refused
    std::uint64_t sentLines() const { return m_sent; }
    std::uint64_t waitingLines() const { return m_spool.lines(); }
    const std::string &spoolPath() const { return m_options.spoolPath; }
    // "InfluxDB: 1200 lines sent" and, when some wait, where and how many.
    QString summary() const;

    // For tests: shorter delays between attempts (milliseconds per second of the rule).
    void setRetryUnitMilliseconds(int ms) { m_retryUnitMs = ms; }

signals:
    // The state changed, or lines began or stopped waiting; `text` is for a status line.
    void statusChanged(const QString &text);
    // A batch was sent, spooled or refused: there is room for more.
    void progressed();
    void finished();

private:
    struct Batch
    {
        std::string text;
        std::uint64_t lines = 0;
    };

    struct Request
    {
        QNetworkReply *reply = nullptr;
        Batch batch;
        bool fromSpool = false;
    };

    void seal();
    void route(Batch batch);
    void pump();
    QNetworkReply *post(const Batch &batch);
    void send(Batch batch, bool fromSpool);
    void onReply(QNetworkReply *reply);
    void spillRequests();
    void onFailure(const QString &reason);
    void onRefusal(const QString &message);
    void retry();
    void spill(Batch &batch);
    void spillQueue();
    void setState(State state, const QString &text);
    void checkFinished();
    std::uint64_t heldLines() const;

    InfluxSenderOptions m_options;
    InfluxLineWriter m_lines{m_options.line};
    QNetworkAccessManager m_network;
    InfluxSpool m_spool;
    QTimer m_batchTimer;
    QTimer m_retryTimer;
    Batch m_batch;
    std::deque<Batch> m_queue;
    std::deque<Request> m_requests; // on their way, oldest first
    bool m_gzip = true;
    int m_attempt = 0;
    int m_retryUnitMs = 1000;
    std::uint64_t m_sent = 0;
    State m_state = State::Sending;
    QString m_error;
    bool m_finishing = false;
    bool m_finished = false;
};

} // namespace kesta
