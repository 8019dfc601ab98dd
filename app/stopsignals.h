#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace kesta {

// SIGINT and SIGTERM for the windows: the handler only writes the signal's number to
// a pipe, and the event loop hands it to `onSignal`, where the program may end as its
// Exit does (a run cancelled and its temporaries removed, a live session's files written
// out and closed). One at a time; the default actions come back when it goes.
class StopSignals
{
public:
    explicit StopSignals(std::function<void(int signal)> onSignal);
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

private:
    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kesta
