#include "live_command.h"

#include "decode_command.h"
#include "influx_sender.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

namespace kesta {

int RunLiveCommand(const LiveOptions &options, bool quiet, int stopSignalFd)
{
    LiveSession session(options);
    int exitCode = ExitSuccess;
    QObject::connect(&session, &LiveSession::stateChanged,
                     [&](LiveSession::State, const QString &text) {
                         if (!quiet)
                             std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(text));
                     });
    QObject::connect(&session, &LiveSession::influxStatusChanged, [&](const QString &text) {
        if (!quiet)
            std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(text));
    });
    QObject::connect(&session, &LiveSession::finished, [&](bool ok) {
        if (!ok) {
            std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(session.error()));
            exitCode = ExitFailure;
        }
        for (const std::string &error : session.outputErrors()) {
            std::fprintf(stderr, "kesta-decode: %s\n", error.c_str());
            exitCode = ExitFailure;
        }
        if (ok && !quiet) {
            const DecodeTotals totals = TotalsOf(session.totals(), session.report());
            std::fputs(SummaryText(totals).c_str(), stderr);
        }
        if (const InfluxSender *influx = session.influxSender()) {
            if (influx->state() == InfluxSender::State::Refused) {
                std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(influx->error()));
                exitCode = ExitFailure;
            }
            if (ok && (!quiet || influx->waitingLines() > 0))
                std::fprintf(stderr, "%s\n", qPrintable(influx->summary()));
        }
        QCoreApplication::exit(exitCode);
    });

    // SIGINT and SIGTERM arrive as a byte on a pipe (the handler may do nothing more),
    // and end the session cleanly: the files are complete up to the last whole frame.
    QSocketNotifier stopNotifier(stopSignalFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(stopSignalFd, &byte, 1);
        session.stop();
    });

    if (!session.start()) {
        std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(session.error()));
        return session.errorIsUsage() ? ExitUsage : ExitFailure;
    }
    if (session.state() == LiveSession::State::Disconnected)
        return exitCode;
    return QCoreApplication::exec();
}

} // namespace kesta
