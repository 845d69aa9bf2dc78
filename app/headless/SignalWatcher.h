#pragma once
// Turns SIGINT and SIGTERM into a call on the event loop's thread, where the document may
// be touched; the handler itself only writes a byte to a pipe.

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vireo {

class SignalWatcher {
public:
    // Installs the handlers; onSignal receives the signal number.
    explicit SignalWatcher(std::function<void(int)> onSignal);
    // Restores the previous handlers.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    std::function<void(int)> m_onSignal;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace vireo
