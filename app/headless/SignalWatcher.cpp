#include "app/headless/SignalWatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace vireo {

namespace {
int g_pipe[2] = {-1, -1};

void OnSignal(int signo) {
    int savedErrno = errno; // the interrupted code may be about to read it
    unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

bool IgnoredNow(int signo) {
    struct sigaction current {};
    return sigaction(signo, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// A pipe whose last reader has gone reports POLLERR to its writer.
bool ReaderGone(int fd) {
    pollfd p{fd, POLLOUT, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLERR) != 0;
}

sigset_t OnlyPipeSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}
} // namespace

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal, std::vector<int> signals)
    : m_onSignal(std::move(onSignal)) {
    std::vector<int> toCatch;
    for (int signo : signals) {
        if (IgnoredNow(signo))
            continue;
        if (signo == SIGPIPE)
            WatchPipeSignal();
        else
            toCatch.push_back(signo);
    }
    if (toCatch.empty() || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_caughtNotifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_caughtNotifier.get(), &QSocketNotifier::activated, [this] { ReadCaught(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : toCatch) {
        struct sigaction old {};
        if (sigaction(signo, &action, &old) != 0)
            continue;
        m_caught.push_back(signo);
        m_oldActions.push_back(old);
    }
}

void SignalWatcher::WatchPipeSignal() {
    sigset_t set = OnlyPipeSignal();
    m_pipeSignalFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_pipeSignalFd < 0)
        return; // SIGPIPE keeps its usual action
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_pipeSignalNotifier = std::make_unique<QSocketNotifier>(m_pipeSignalFd, QSocketNotifier::Read);
    QObject::connect(m_pipeSignalNotifier.get(), &QSocketNotifier::activated,
                     [this] { ReadPipeSignals(); });
}

void SignalWatcher::ReadCaught() {
    unsigned char byte = 0;
    while (read(g_pipe[0], &byte, 1) == 1)
        if (m_onSignal)
            m_onSignal(byte);
}

void SignalWatcher::ReadPipeSignals() {
    signalfd_siginfo info{};
    while (read(m_pipeSignalFd, &info, sizeof info) == ssize_t(sizeof info)) {
        bool ownWrite = pid_t(info.ssi_pid) == getpid();
        if (ownWrite && !ReaderGone(STDOUT_FILENO) && !ReaderGone(STDERR_FILENO))
            continue;
        if (m_onSignal)
            m_onSignal(SIGPIPE);
    }
}

SignalWatcher::~SignalWatcher() {
    for (size_t i = 0; i < m_caught.size(); ++i)
        sigaction(m_caught[i], &m_oldActions[i], nullptr);
    if (m_caughtNotifier) {
        m_caughtNotifier.reset();
        close(g_pipe[0]);
        close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
    if (m_pipeSignalFd >= 0) {
        m_pipeSignalNotifier.reset();
        // Dropped rather than unblocked into their default action.
        signalfd_siginfo info{};
        while (read(m_pipeSignalFd, &info, sizeof info) == ssize_t(sizeof info)) {
        }
        sigset_t set = OnlyPipeSignal();
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        close(m_pipeSignalFd);
    }
}

} // namespace vireo
