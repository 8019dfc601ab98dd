#pragma once

#include "livesession.h"

namespace kesta {

// kesta-decode --connect: receives from a KISS TCP server until the server closes the
// connection or `stopRequested` fires (SIGINT, SIGTERM), then prints the summary.
// Runs the event loop of the QCoreApplication that must exist. Returns the exit code.
int RunLiveCommand(const LiveOptions &options, bool quiet, int stopSignalFd);

} // namespace kesta
