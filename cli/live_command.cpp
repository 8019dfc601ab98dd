#include "live_command.h"

#include "decode_command.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int RunLiveCommand(const LiveOptions &options, bool quiet, int stopSignalFd)
{
    LiveSession session(options);
    int exitCode = kesta::ExitSuccess;
    QObject::connect(&session, &LiveSession::stateChanged,
                     [&](LiveSession::State, const QString &text) {
                         if (!quiet)
                             std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(text));
                     });
    QObject::connect(&session, &LiveSession::finished, [&](bool ok) {
        if (!ok) {
            std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(session.error()));
            exitCode = kesta::ExitFailure;
        }
        for (const std::string &error : session.outputErrors()) {
            std::fprintf(stderr, "kesta-decode: %s\n", error.c_str());
            exitCode = kesta::ExitFailure;
        }
        if (ok && !quiet) {
            const kesta::DecodeTotals totals = kesta::TotalsOf(session.totals(), session.report());
            std::fputs(kesta::SummaryText(totals).c_str(), stderr);
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
        return session.errorIsUsage() ? kesta::ExitUsage : kesta::ExitFailure;
    }
    if (session.state() == LiveSession::State::Disconnected)
        return exitCode;
    return QCoreApplication::exec();
}
