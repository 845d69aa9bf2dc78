#pragma once
// Delivers the signals that end a session as a call on the event loop's thread, where the
// document may be touched. A signal that was ignored when the watcher was made (nohup's
// SIGHUP, say) stays ignored. One watcher at a time.
//
// SIGINT, SIGTERM and SIGHUP are caught by a handler that only writes a byte to a pipe,
// so they are served whichever thread the system hands them to. SIGPIPE cannot be caught
// that way: the network code sets it to "ignore" on its first socket write. It is blocked
// instead and read from a signalfd, so make a watcher that takes SIGPIPE before any
// thread starts (threads inherit the blocked set).

#include <csignal>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace vireo {

class SignalWatcher {
public:
    // onSignal receives the signal number of each of the given signals. A SIGPIPE the
    // process raised itself by writing to a broken connection is passed on only when
    // standard output or standard error is a pipe nobody reads any more (vireo ... | head);
    // a server's broken connection is left to the transfer, whose write fails with EPIPE.
    // A SIGPIPE sent by another process always counts.
    explicit SignalWatcher(std::function<void(int)> onSignal,
                           std::vector<int> signals = {SIGINT, SIGTERM});
    // Restores the previous handlers; a SIGPIPE still pending is dropped.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void WatchPipeSignal();
    void ReadCaught();
    void ReadPipeSignals();

    std::function<void(int)> m_onSignal;
    std::vector<int> m_caught; // signals whose handler is ours
    std::vector<struct sigaction> m_oldActions;
    std::unique_ptr<QSocketNotifier> m_caughtNotifier;
    int m_pipeSignalFd = -1; // signalfd for SIGPIPE, -1 when it is not watched
    std::unique_ptr<QSocketNotifier> m_pipeSignalNotifier;
};

} // namespace vireo
