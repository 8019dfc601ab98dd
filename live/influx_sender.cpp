#include "influx_sender.h"

#include "gzip.h"
#include "influx_export.h"
#include "livesession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <algorithm>
#include <unistd.h>

namespace kesta {

namespace {

// Batches held in memory before a log decode waits for the server.
constexpr std::uint64_t HeldBatches = 6;
// Requests on their way at a time (see the class comment).
constexpr std::size_t RequestsOnTheirWay = 4;
// A server that takes longer than this over one batch is taken as gone.
constexpr int TransferTimeoutMs = 30000;

// The server's own words: 1.x answers {"error": "..."}, 2.x {"code": ..., "message": ...}.
QString ServerMessage(int status, const QByteArray &body)
{
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    QString text = json.value(QStringLiteral("error")).toString();
    if (text.isEmpty())
        text = json.value(QStringLiteral("message")).toString();
    if (text.isEmpty())
        text = QString::fromUtf8(body.left(500)).trimmed();
    return text.isEmpty() ? QStringLiteral("HTTP %1").arg(status)
                          : QStringLiteral("HTTP %1: %2").arg(status).arg(text);
}

} // namespace

InfluxSender::InfluxSender(InfluxSenderOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options))
{
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(BatchMilliseconds);
    connect(&m_batchTimer, &QTimer::timeout, this, &InfluxSender::seal);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &InfluxSender::retry);
}

InfluxSender::~InfluxSender()
{
    m_finished = true; // nobody is told any more
    abandon();
}

bool InfluxSender::start()
{
    if (m_options.spoolMode != InfluxSpool::Mode::Adopt)
        return true;
    std::vector<std::string> paths{m_options.spoolPath};
    const std::string &base = m_options.spoolPath;
    const std::size_t dot = base.rfind('.');
    for (int n = 2; n <= m_options.spoolAlternatives + 1; ++n) {
        paths.push_back(dot == std::string::npos || dot < base.rfind('/')
                            ? base + '-' + std::to_string(n)
                            : base.substr(0, dot) + '-' + std::to_string(n) + base.substr(dot));
    }
    // First a file with lines waiting that no other run holds, then any free one.
    bool opened = false;
    for (const bool waiting : {true, false}) {
        for (const std::string &path : paths) {
            if (waiting && ::access(path.c_str(), F_OK) != 0)
                continue;
            if (!m_spool.open(path, InfluxSpool::Mode::Adopt)) {
                if (m_spool.busy())
                    continue;
                m_error = QString::fromLocal8Bit(m_spool.error());
                return false;
            }
            if (waiting && m_spool.lines() == 0) {
                m_spool.close();
                continue;
            }
            opened = true;
            break;
        }
        if (opened)
            break;
    }
    if (!opened) {
        m_error = QString::fromLocal8Bit(m_spool.error());
        return false;
    }
    if (m_spool.lines() > 0) {
        setState(State::Waiting, QStringLiteral("InfluxDB: %1 lines waiting in %2 go first")
                                     .arg(m_spool.lines())
                                     .arg(QString::fromLocal8Bit(m_spool.path())));
        retry();
    }
    return true;
}

void InfluxSender::frame(const SessionFrame &frame)
{
    if (m_finished)
        return;
    const std::size_t before = m_batch.text.size();
    m_lines.append(m_batch.text, frame);
    if (m_batch.text.size() == before)
        return;
    if (m_batch.lines++ == 0)
        m_batchTimer.start();
    if (m_batch.lines >= BatchLines)
        seal();
}

void InfluxSender::seal()
{
    m_batchTimer.stop();
    if (m_batch.lines == 0)
        return;
    Batch batch = std::move(m_batch);
    m_batch = Batch{};
    m_batch.text.reserve(batch.text.size());
    route(std::move(batch));
}

void InfluxSender::route(Batch batch)
{
    if (m_state == State::Sending) {
        m_queue.push_back(std::move(batch));
        pump();
    } else if (m_state == State::Waiting || m_options.spoolAfterRefusal) {
        spill(batch); // behind the lines that wait already
    }
    emit progressed();
}

void InfluxSender::pump()
{
    while (m_state == State::Sending && m_requests.size() < RequestsOnTheirWay &&
           !m_queue.empty()) {
        Batch batch = std::move(m_queue.front());
        m_queue.pop_front();
        send(std::move(batch), false);
    }
    checkFinished();
}

QNetworkReply *InfluxSender::post(const Batch &batch)
{
    QNetworkRequest request(m_options.target.writeUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("text/plain; charset=utf-8"));
    if (!m_options.target.token.isEmpty())
        request.setRawHeader("Authorization", "Token " + m_options.target.token);
    request.setTransferTimeout(TransferTimeoutMs);
    // Plain HTTP/1.1: an InfluxDB server speaks no cleartext HTTP/2.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    QByteArray body = m_gzip ? Gzip(batch.text) : QByteArray();
    if (!body.isEmpty())
        request.setRawHeader("Content-Encoding", "gzip");
    else
        body = QByteArray(batch.text.data(), static_cast<qsizetype>(batch.text.size()));
    QNetworkReply *reply = m_network.post(request, body);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onReply(reply); });
    return reply;
}

void InfluxSender::send(Batch batch, bool fromSpool)
{
    Request request;
    request.reply = post(batch);
    request.batch = std::move(batch);
    request.fromSpool = fromSpool;
    m_requests.push_back(std::move(request));
}

void InfluxSender::onReply(QNetworkReply *reply)
{
    reply->deleteLater();
    const auto it = std::find_if(m_requests.begin(), m_requests.end(),
                                 [reply](const Request &r) { return r.reply == reply; });
    if (it == m_requests.end())
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 200 && status < 300) {
        const Request done = std::move(*it);
        m_requests.erase(it);
        m_sent += done.batch.lines;
        m_attempt = 0;
        if (done.fromSpool && !m_spool.drop(done.batch.text.size(), done.batch.lines)) {
            onRefusal(QString::fromLocal8Bit(m_spool.error()));
            return;
        }
        emit progressed();
        if (m_state == State::Waiting) {
            if (m_spool.lines() > 0) {
                retry(); // the next batch from the spool, at once
                return;
            }
            setState(State::Sending,
                     QStringLiteral("InfluxDB: every waiting line sent (%1 lines sent)").arg(m_sent));
        }
        pump();
        return;
    }
    if (status == 415 && m_gzip) {
        // The server takes no compressed bodies: the same batch again, plain.
        m_gzip = false;
        it->reply = post(it->batch);
        return;
    }
    if (status >= 400 && status < 500) {
        onRefusal(ServerMessage(status, reply->readAll()));
        return;
    }
    onFailure(status != 0 ? ServerMessage(status, reply->readAll()) : reply->errorString());
}

// Every request still on its way is called back, and its lines go to the spool, oldest
// first, before those of the queue (a batch the server took after all is sent again
// later, which is harmless).
void InfluxSender::spillRequests()
{
    std::deque<Request> requests = std::move(m_requests);
    m_requests.clear();
    for (Request &request : requests) {
        request.reply->disconnect(this);
        request.reply->abort();
        request.reply->deleteLater();
        if (!request.fromSpool)
            spill(request.batch);
    }
    spillQueue();
}

// The server cannot be reached or failed (5xx): the batches and all behind them wait.
void InfluxSender::onFailure(const QString &reason)
{
    spillRequests();
    if (m_state == State::Refused) // the spool itself failed
        return;
    QString text = QStringLiteral("InfluxDB: %1 lines wait in %2 (%3)")
                       .arg(m_spool.lines())
                       .arg(QString::fromLocal8Bit(m_spool.path()), reason);
    if (m_finishing) {
        // One attempt at the end, no more: the lines wait for the next run.
        setState(State::Waiting, text);
        emit progressed();
        checkFinished();
        return;
    }
    const int delay = LiveSession::retryDelaySeconds(m_attempt++);
    setState(State::Waiting, text + QStringLiteral(" - retrying in %1 s").arg(delay));
    emit progressed();
    m_retryTimer.start(delay * m_retryUnitMs);
}

void InfluxSender::onRefusal(const QString &message)
{
    m_retryTimer.stop();
    m_error = QStringLiteral("%1: the server refused the lines: %2")
                  .arg(m_options.target.display, message);
    if (m_state != State::Refused && m_options.spoolAfterRefusal) {
        spillRequests();
    } else {
        for (Request &request : m_requests) {
            request.reply->disconnect(this);
            request.reply->abort();
            request.reply->deleteLater();
        }
        m_requests.clear();
    }
    m_queue.clear();
    QString text = QStringLiteral("InfluxDB: %1").arg(m_error);
    if (m_spool.lines() > 0)
        text += QStringLiteral("; %1 lines wait in %2")
                    .arg(m_spool.lines())
                    .arg(QString::fromLocal8Bit(m_spool.path()));
    setState(State::Refused, text);
    emit progressed();
    checkFinished();
}

void InfluxSender::retry()
{
    if (!m_requests.empty() || m_state != State::Waiting)
        return;
    if (m_spool.lines() == 0) {
        setState(State::Sending, QStringLiteral("InfluxDB: sending"));
        pump();
        return;
    }
    Batch batch;
    batch.lines = m_spool.peek(BatchLines, batch.text);
    if (batch.lines == 0) {
        onRefusal(QString::fromLocal8Bit(m_spool.error()));
        return;
    }
    send(std::move(batch), true); // one at a time from the spool, in order
}

// Adds a batch at the end of the spool, creating the file when first needed.
void InfluxSender::spill(Batch &batch)
{
    if (batch.lines == 0 || (m_state == State::Refused && !m_options.spoolAfterRefusal))
        return;
    bool ok = m_spool.isOpen() || m_spool.open(m_options.spoolPath, m_options.spoolMode);
    ok = ok && m_spool.append(batch.text, batch.lines);
    batch = Batch{};
    if (!ok && m_state != State::Refused) {
        // Nowhere to keep the lines: as bad as a refusal, and said as such.
        m_state = State::Refused;
        m_error = QString::fromLocal8Bit(m_spool.error());
        m_queue.clear();
        setState(State::Refused, QStringLiteral("InfluxDB: %1").arg(m_error));
    }
}

void InfluxSender::spillQueue()
{
    while (!m_queue.empty()) {
        spill(m_queue.front());
        m_queue.pop_front();
    }
}

void InfluxSender::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    seal();
    if (m_state == State::Waiting && m_requests.empty()) {
        // The server may be back by now: one attempt before the lines are left waiting.
        m_retryTimer.stop();
        retry();
    }
    checkFinished();
}

void InfluxSender::spoolAndFinish()
{
    if (m_finished)
        return;
    m_finishing = true;
    m_batchTimer.stop();
    m_retryTimer.stop();
    if (m_batch.lines > 0) {
        m_queue.push_back(std::move(m_batch));
        m_batch = Batch{};
    }
    spillRequests();
    checkFinished();
}

void InfluxSender::abandon()
{
    m_batchTimer.stop();
    m_retryTimer.stop();
    for (Request &request : m_requests) {
        request.reply->disconnect(this);
        request.reply->abort();
        request.reply->deleteLater();
    }
    m_requests.clear();
    m_batch = Batch{};
    m_queue.clear();
    m_finishing = true;
    m_spool.close();
    if (!m_finished) {
        m_finished = true;
        emit finished();
    }
}

void InfluxSender::checkFinished()
{
    if (!m_finishing || m_finished || !m_requests.empty() || m_batch.lines > 0 || !m_queue.empty())
        return;
    m_finished = true;
    m_retryTimer.stop();
    m_spool.close();
    emit finished();
}

std::uint64_t InfluxSender::heldLines() const
{
    std::uint64_t lines = 0;
    for (const Request &request : m_requests)
        lines += request.batch.lines;
    for (const Batch &batch : m_queue)
        lines += batch.lines;
    return lines;
}

void InfluxSender::waitForRoom(const std::atomic<bool> *cancel)
{
    waitForRoom([cancel] { return cancel != nullptr && cancel->load(); });
}

void InfluxSender::waitForRoom(const std::function<bool()> &cancel)
{
    QCoreApplication::processEvents();
    while (m_state == State::Sending && heldLines() > HeldBatches * BatchLines &&
           !(cancel && cancel())) {
        QEventLoop loop;
        connect(this, &InfluxSender::progressed, &loop, &QEventLoop::quit);
        // A signal that interrupts the wait is seen within this time.
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void InfluxSender::waitUntilFinished(const std::atomic<bool> *cancel)
{
    waitUntilFinished([cancel] { return cancel != nullptr && cancel->load(); });
}

void InfluxSender::waitUntilFinished(const std::function<bool()> &cancel)
{
    while (!m_finished && !(cancel && cancel())) {
        QEventLoop loop;
        connect(this, &InfluxSender::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

QString InfluxSender::summary() const
{
    QString text = QStringLiteral("InfluxDB: %1 lines sent").arg(m_sent);
    if (m_spool.lines() > 0)
        text += QStringLiteral(", %1 lines wait in %2")
                    .arg(m_spool.lines())
                    .arg(QString::fromLocal8Bit(m_spool.path()));
    return text;
}

void InfluxSender::setState(State state, const QString &text)
{
    m_state = state;
    emit statusChanged(text);
}

} // namespace kesta
