// The InfluxDB path: records decoded from a generated log of 200,000 frames and sent as
// line protocol.
//   BM_SenderToNullServer   our side alone: the lines made, gzip-compressed and posted in
//                           batches of 5000 to a loopback server that reads each request
//                           and answers 204 at once (in a thread of its own).
//   BM_DecodeIntoInfluxd    kesta-decode --influx-url into a real influxd (Debian's, on a
//                           free loopback port, data in a temporary folder), with the CPU
//                           seconds of each side: where the time goes.
// Points per second of wall clock in both.

#include "decoding_session.h"
#include "influx_sender.h"
#include "influx_server.h"
#include "log_generator.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <benchmark/benchmark.h>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t Frames = 200000;

const std::vector<std::uint8_t> &Log()
{
    static const std::vector<std::uint8_t> log = [] {
        kesta::loggen::GeneratorOptions options;
        options.frames = Frames;
        options.seed = 11;
        return kesta::loggen::GenerateLog(options);
    }();
    return log;
}

// Reads HTTP requests and answers each with 204, as fast as they come.
class NullServer : public QTcpServer
{
public:
    NullServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                auto *buffer = new QByteArray;
                connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer] {
                    buffer->append(socket->readAll());
                    for (;;) {
                        const qsizetype end = buffer->indexOf("\r\n\r\n");
                        if (end < 0)
                            return;
                        const QByteArray head = buffer->left(end).toLower();
                        const qsizetype at = head.indexOf("content-length:");
                        const qsizetype length =
                            at < 0 ? 0 : head.mid(at + 15).split('\r').at(0).trimmed().toLongLong();
                        if (buffer->size() < end + 4 + length)
                            return;
                        buffer->remove(0, end + 4 + length);
                        socket->write("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
                    }
                });
            }
        });
    }
};

void BM_SenderToNullServer(benchmark::State &state)
{
    QThread thread;
    NullServer *server = new NullServer;
    server->listen(QHostAddress::LocalHost);
    const quint16 port = server->serverPort();
    server->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, server, &QObject::deleteLater);
    thread.start();

    QString error;
    const auto target = kesta::ParseInfluxUrl(
        QStringLiteral("http://127.0.0.1:%1/write?db=bench").arg(port), {}, error);
    const std::string spool = "/tmp/kesta-bench-spool-" + std::to_string(::getpid()) + ".lp";
    std::uint64_t sent = 0;
    for (auto _ : state) {
        kesta::InfluxSenderOptions options;
        options.target = *target;
        options.spoolPath = spool;
        kesta::InfluxSender sender(options);
        kesta::DecodingSession session;
        session.addSink(sender);
        const auto &log = Log();
        for (std::size_t at = 0; at < log.size(); at += 1 << 20) {
            session.feed(std::span(log).subspan(at, std::min<std::size_t>(1 << 20, log.size() - at)));
            sender.waitForRoom(nullptr);
        }
        session.finish();
        sender.finish();
        sender.waitUntilFinished(nullptr);
        if (sender.waitingLines() != 0) {
            state.SkipWithError("lines left waiting");
            break;
        }
        sent += sender.sentLines();
    }
    thread.quit();
    thread.wait();
    state.counters["points_per_s"] =
        benchmark::Counter(static_cast<double>(sent), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SenderToNullServer)->Unit(benchmark::kMillisecond)->UseRealTime();

double CpuSecondsOf(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15) // utime, stime
            ticks += std::stod(field);
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ChildrenCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_DecodeIntoInfluxd(benchmark::State &state)
{
    InfluxServer influx;
    QString error;
    if (!influx.start(error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    QJsonObject result;
    influx.query(QStringLiteral("CREATE DATABASE bench"), result);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("pass.kss"));
    {
        QFile file(log);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char *>(Log().data()), static_cast<qsizetype>(Log().size()));
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir.path());
    double ours = 0, server = 0;
    std::uint64_t points = 0;
    for (auto _ : state) {
        const double serverBefore = CpuSecondsOf(influx.pid());
        const double oursBefore = ChildrenCpuSeconds();
        QProcess decode;
        decode.setProcessEnvironment(env);
        decode.start(QStringLiteral(KESTA_DECODE_PATH),
                     {QStringLiteral("-q"), QStringLiteral("--no-dump"), QStringLiteral("--no-tlm"),
                      QStringLiteral("--influx-url"), influx.writeUrl(QStringLiteral("bench")), log});
        decode.waitForFinished(-1);
        if (decode.exitCode() != 0) {
            state.SkipWithError(decode.readAllStandardError().constData());
            break;
        }
        ours += ChildrenCpuSeconds() - oursBefore;
        server += CpuSecondsOf(influx.pid()) - serverBefore;
        points += Frames;
    }
    state.counters["points_per_s"] =
        benchmark::Counter(static_cast<double>(points), benchmark::Counter::kIsRate);
    const double n = static_cast<double>(state.iterations());
    state.counters["kesta_decode_cpu_s"] = ours / n;
    state.counters["influxd_cpu_s"] = server / n;
}
BENCHMARK(BM_DecodeIntoInfluxd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
