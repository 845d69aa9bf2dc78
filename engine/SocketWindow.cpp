#include "engine/SocketWindow.h"

#include "engine/JobSocket.h"
#include "engine/TransferJob.h"

#include <algorithm>

namespace vireo {

SocketWindow& SocketWindow::Instance() {
    // Deliberately never destroyed: jobs and sockets may outlive any static order.
    static SocketWindow* window = new SocketWindow;
    return *window;
}

SocketWindow::SocketWindow() {
    m_timer.setInterval(1000);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
    m_timer.start();
}

SocketWindow::~SocketWindow() = default;

void SocketWindow::Register(TransferJob* job) {
    std::vector<int> slots;
    slots.reserve(m_jobs.size());
    for (TransferJob* j : m_jobs)
        if (j != job)
            slots.push_back(j->SlotNumber());
    std::sort(slots.begin(), slots.end());
    int slot = int(slots.size());
    for (size_t i = 0; i < slots.size(); ++i) {
        if (slots[i] != int(i)) {
            slot = int(i);
            break;
        }
    }
    job->SetSlotNumber(slot);
    if (m_registered.insert(job).second)
        m_jobs.push_back(job);
}

void SocketWindow::Unregister(TransferJob* job) {
    if (m_registered.erase(job))
        m_jobs.erase(std::find(m_jobs.begin(), m_jobs.end(), job));
    job->SetSlotNumber(-1);
}

void SocketWindow::Retire(JobSocket* socket) {
    if (!socket)
        return;
    socket->Detach();
    socket->Close();
    m_retired.push_back(socket);
}

void SocketWindow::Release(std::unique_ptr<TransferJob> job) {
    if (!job)
        return;
    job->Stop();
    m_released.push_back(std::move(job));
    if (m_freePosted)
        return;
    m_freePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_freePosted = false;
            FreeReleased();
        },
        Qt::QueuedConnection);
}

void SocketWindow::FreeReleased() {
    // A job's destructor may release nothing new, but walk by index all the same.
    for (size_t i = m_released.size(); i-- > 0;) {
        if (m_released[i]->InCall())
            continue; // still on the stack: a later turn frees it
        std::unique_ptr<TransferJob> job = std::move(m_released[i]);
        m_released.erase(m_released.begin() + long(i));
        job.reset();
    }
}

int SocketWindow::LookupHost(const QString& host, int slot) {
    return QHostInfo::lookupHost(
        host, this, [this, slot](const QHostInfo& info) { OnLookupReply(slot, info); });
}

void SocketWindow::CancelLookup(int lookupId) {
    // The lookup is left to finish: an aborted lookup never delivers its reply, and the
    // network library then never frees the receiver it made for it. The job has forgotten
    // the id, so the reply is dropped on arrival.
    (void)lookupId;
}

void SocketWindow::OnLookupReply(int slot, const QHostInfo& info) {
    if (slot < 0 || slot > kMaxLookupSlot)
        return;
    for (TransferJob* job : m_jobs) {
        // A reply for a slot that no job holds, or that another job holds now, is dropped.
        if (job->SlotNumber() == slot) {
            if (job->LookupId() == info.lookupId())
                job->HandleResolved(info);
            return;
        }
    }
}

void SocketWindow::Tick() {
    // A tick may stop, restart or fail jobs: walk a copy and skip the ones gone meanwhile.
    std::vector<TransferJob*> jobs = m_jobs;
    for (TransferJob* job : jobs) {
        if (IsRegistered(job) && IsValidSlot(job->SlotNumber()))
            job->HandleTick();
    }
    FreeReleased();
    for (size_t i = m_retired.size(); i-- > 0;) {
        JobSocket* socket = m_retired[i];
        if (socket->IsDetached()) {
            m_retired.erase(m_retired.begin() + long(i));
            delete socket;
        } else {
            socket->Detach();
        }
    }
}

} // namespace vireo
