#include "downloads/RowPresenter.h"

#include "engine/DisplayText.h"
#include "engine/FileNames.h"
#include "engine/TransferJob.h"
#include "settings/SettingsStore.h"

#include <cstdint>

namespace vireo {

namespace {
constexpr int kTicksPerSecond = 5;

// A row that has ended (stopped, finished, failed) moves no bytes: a speed or a time left
// would make it look as if it still ran.
bool Ended(ItemState state) {
    return state == ItemState::Stopped || state == ItemState::Done || state == ItemState::Failed;
}

void CountParts(const TransferJob& job, LineProgress& progress) {
    TransferJob::Parts parts = job.PartsDone();
    progress.partsDone = parts.done;
    progress.partsTotal = parts.total;
}
} // namespace

void RowPresenter::AppendLine(const std::string& path) {
    if (m_view)
        m_view->AppendLine(path, row_image::Waiting);
}

void RowPresenter::DeleteLine(int index) {
    if (m_view)
        m_view->DeleteLine(index);
}

void RowPresenter::Refresh(DownloadItem& item) {
    int i = m_entries.IndexOf(item);
    if (i < 0)
        return;
    if (m_view) {
        const TransferJob* job = item.Job();
        LineProgress progress;
        progress.size = item.Size();
        progress.received = job ? job->Bytes() : 0;
        progress.live = item.HasFlag(IF_LIVE);
        if (job && !Ended(m_entries.Row(i).state))
            CountParts(*job, progress);
        // Later steps win; a failure without a text shows the count.
        if (item.HasFlag(IF_BUSY))
            progress.status = LineProgress::Status::Busy;
        if (item.HasFlag(IF_RECEIVED))
            progress.status = LineProgress::Status::Received;
        if (item.HasFlag(IF_FAILED)) {
            progress.failure = item.ErrorText();
            progress.status = progress.failure.empty() ? LineProgress::Status::Count
                                                       : LineProgress::Status::Failed;
        }

        m_view->SetText(i, ColFile, LastPathComponent(item.TargetPath()));
        m_view->SetProgress(i, progress);
        m_view->SetText(i, ColElapsed, FormatElapsed(m_entries.Row(i).elapsed));
        bool ended = Ended(m_entries.Row(i).state);
        m_view->SetText(i, ColLeft, job && !ended ? job->TimeLeftText() : std::string());
        m_view->SetText(i, ColSpeed,
                        ended ? std::string()
                        : job ? std::to_string(job->Speed())
                              : "0");
        m_view->SetText(i, ColAttemp, job ? std::to_string(job->Attempts()) : "0");
        m_view->SetText(i, ColAddress, item.Url());
    }
    UpdateImage(item, i);
}

void RowPresenter::UpdateImage(DownloadItem& item, int index) {
    ItemRow& row = m_entries.Row(index);
    int image = -1;
    switch (row.state) {
    case ItemState::Waiting:
        image = row_image::Waiting;
        break;
    case ItemState::Stopped:
        image = row_image::Stopped;
        break;
    case ItemState::Done:
        image = row_image::Done;
        break;
    case ItemState::Failed:
        image = item.LastError() == ErrAttempts ? row_image::AttemptsUsed
                : item.LastError() == 401       ? row_image::Unauthorized
                                                : row_image::Failed;
        break;
    case ItemState::Running:
        break;
    }
    if (item.HasFlag(IF_BUSY))
        image = row_image::Busy;
    if (image < 0) {
        if (!item.HasFlag(IF_RECEIVING)) {
            image = row_image::Waiting;
        } else if (Settings().GetInt(keys::Animated) != 0) {
            if (row.imageCycle < 0 || row.imageCycle == INT32_MAX)
                row.imageCycle = 0;
            ++row.imageCycle;
            image = row_image::RunningFirst + row.imageCycle % row_image::RunningFrames;
        } else {
            image = row_image::RunningStill;
        }
    }
    if (m_view)
        m_view->SetImage(index, image);
}

void RowPresenter::ShowStateChange(int index, DownloadItem& item, ItemState old, ItemState now) {
    if (now != ItemState::Running)
        UpdateImage(item, index);
    if (m_view && Ended(now)) {
        m_view->SetText(index, ColLeft, std::string());
        m_view->SetText(index, ColSpeed, std::string());
    }
    if (m_view && (now == ItemState::Failed || old == ItemState::Failed))
        m_view->SetTip(index, now == ItemState::Failed ? item.FailureText() : std::string());
}

bool RowPresenter::Tick(const std::vector<DownloadItem*>& running) {
    // Rows that do not run change only through the document, which redraws them then, so
    // the tick visits the running ones alone.
    bool secondTick = m_tickCounter == kTicksPerSecond - 1;
    for (DownloadItem* item : running) {
        int index = item->Index();
        ItemRow& row = m_entries.Row(index);
        if (secondTick) {
            const TransferJob* job = item->Job();
            if (job && item->HasFlag(IF_DIRTY)) {
                if (m_view) {
                    LineProgress progress;
                    progress.size = job->Size();
                    progress.received = job->Bytes();
                    progress.live = item->HasFlag(IF_LIVE);
                    CountParts(*job, progress);
                    m_view->SetProgress(index, progress);
                    m_view->SetText(index, ColLeft, job->TimeLeftText());
                    m_view->SetText(index, ColSpeed, std::to_string(job->Speed()));
                }
                item->SetFlags(0, IF_DIRTY);
            }
            if (m_view)
                m_view->SetText(index, ColElapsed, FormatElapsed(row.elapsed));
            ++row.elapsed;
        }
        UpdateImage(*item, index);
    }
    m_tickCounter = (m_tickCounter + 1) % kTicksPerSecond;
    return secondTick;
}

} // namespace vireo
