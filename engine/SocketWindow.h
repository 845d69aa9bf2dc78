#pragma once
// The one object that keeps the registry of running jobs: it gives each a slot number,
// routes host-lookup replies to the job holding the slot, delivers the one-second tick
// and frees retired sockets on a later tick, never inside their own event handler.

#include <QHostInfo>
#include <QObject>
#include <QTimer>

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

    // Starts an asynchronous lookup whose reply goes to the job holding the slot at the
    // time of the reply; returns the lookup id.
    int LookupHost(const QString& host, int slot);
    static void CancelLookup(int lookupId);

    // One tick: every registered job's OnTick, then the retired sockets.
    void Tick();

private:
    SocketWindow();
    ~SocketWindow() override;
    void OnLookupReply(int slot, const QHostInfo& info);

    std::vector<TransferJob*> m_jobs;
    std::unordered_set<const TransferJob*> m_registered;
    std::vector<JobSocket*> m_retired;
    QTimer m_timer;
};

} // namespace vireo
