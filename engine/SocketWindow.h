#pragma once
// The one object that keeps the registry of running jobs: it gives each a slot number,
// routes host-lookup replies to the job holding the slot, delivers the one-second tick,
// and frees retired sockets and released jobs later, never inside one of their own calls.

#include <QHostInfo>
#include <QObject>
#include <QTimer>

#include <memory>
#include <unordered_set>
#include <vector>

namespace vireo {

class JobSocket;
class TransferJob;

class SocketWindow : public QObject {
public:
    static constexpr int kMaxLookupSlot = 1000; // slots above get no lookup replies
    static constexpr int kMaxValidSlot = 1024;

    // Created with the first job; lives to the end of the program.
    static SocketWindow& Instance();

    void Register(TransferJob* job);
    void Unregister(TransferJob* job);
    bool IsRegistered(const TransferJob* job) const { return m_registered.count(job) != 0; }
    static bool IsValidSlot(int slot) { return slot >= -1 && slot <= kMaxValidSlot; }

    // Closes the socket now and deletes it on a later tick.
    void Retire(JobSocket* socket);
    size_t RetiredCount() const { return m_retired.size(); }

    // Takes a job its item let go of (finished, failed, replaced by a redirect's): stops
    // it now and frees it from the event loop once none of its own calls is running.
    void Release(std::unique_ptr<TransferJob> job);
    size_t ReleasedCount() const { return m_released.size(); }
    // Frees the released jobs that are not inside a call of their own.
    void FreeReleased();

    // Starts an asynchronous lookup whose reply goes to the job holding the slot at the
    // time of the reply; returns the lookup id.
    int LookupHost(const QString& host, int slot);
    static void CancelLookup(int lookupId);

    // One tick: every registered job's tick, then the retired sockets and released jobs.
    void Tick();

private:
    SocketWindow();
    ~SocketWindow() override;
    void OnLookupReply(int slot, const QHostInfo& info);

    std::vector<TransferJob*> m_jobs;
    std::unordered_set<const TransferJob*> m_registered;
    std::vector<JobSocket*> m_retired;
    std::vector<std::unique_ptr<TransferJob>> m_released;
    bool m_freePosted = false;
    QTimer m_timer;
};

} // namespace vireo
