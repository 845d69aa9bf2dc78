#include "app/headless/SignalWatcher.h"

#include <QSocketNotifier>

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace vireo {

namespace {
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

bool IgnoredNow(int signo) {
    struct sigaction current {};
    return sigaction(signo, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// A pipe whose last reader has gone reports POLLERR to its writer.
bool ReaderGone(int fd) {
    pollfd p{fd, POLLOUT, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLERR) != 0;
}
} // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : m_onSignal(std::move(onSignal)) {
    sigemptyset(&m_blocked);
    for (int signo : kWatched)
        if (!IgnoredNow(signo))
            sigaddset(&m_blocked, signo);
    m_fd = signalfd(-1, &m_blocked, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0)
        return; // the signals keep their usual actions
    pthread_sigmask(SIG_BLOCK, &m_blocked, nullptr);
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadSignals(); });
}

void SignalWatcher::ReadSignals() {
    signalfd_siginfo info{};
    while (read(m_fd, &info, sizeof info) == ssize_t(sizeof info)) {
        int signo = int(info.ssi_signo);
        bool raisedByOwnWrite = signo == SIGPIPE && pid_t(info.ssi_pid) == getpid();
        if (raisedByOwnWrite && !ReaderGone(STDOUT_FILENO) && !ReaderGone(STDERR_FILENO))
            continue;
        if (m_onSignal)
            m_onSignal(signo);
    }
}

SignalWatcher::~SignalWatcher() {
    if (m_fd < 0)
        return;
    m_notifier.reset();
    // What came after the last look is dropped: unblocked, it would take its default
    // action now.
    signalfd_siginfo info{};
    while (read(m_fd, &info, sizeof info) == ssize_t(sizeof info)) {
    }
    pthread_sigmask(SIG_UNBLOCK, &m_blocked, nullptr);
    close(m_fd);
}

} // namespace vireo
