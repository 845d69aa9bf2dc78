#pragma once
// Delivers the signals that end a terminal run (SIGINT, SIGTERM, SIGHUP, SIGPIPE) as a call
// on the event loop's thread, where the document may be touched.
//
// The signals are blocked and read from a signalfd, so neither their default action nor a
// library that sets SIGPIPE to "ignore" on its first socket write gets them first. Make the
// watcher before any thread starts: threads inherit the blocked set. A signal that was
// ignored when the watcher was made (nohup's SIGHUP, say) stays ignored.

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace vireo {

class SignalWatcher {
public:
    // onSignal receives the signal number. A SIGPIPE the process raised itself by writing
    // to a broken connection is passed on only when standard output or standard error is
    // a pipe nobody reads any more (vireo ... | head); a server's broken connection is
    // left to the transfer, whose write fails with EPIPE. A SIGPIPE sent by another
    // process always counts.
    explicit SignalWatcher(std::function<void(int)> onSignal);
    // Drops what is still pending, then unblocks the signals.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void ReadSignals();

    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_fd = -1;
    sigset_t m_blocked{}; // the signals this watcher blocked (those not ignored at start)
};

} // namespace vireo
