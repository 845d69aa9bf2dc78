// The document's 200 ms tick: running rows, the tray's busy cycle and the idle hiding of
// the windows.
#include "downloads/VireoDoc.h"

#include "engine/DisplayText.h"
#include "engine/TransferJob.h"
#include "settings/SettingsStore.h"

namespace vireo {

namespace {
constexpr int kTicksPerSecond = 5;
} // namespace

void CVireoDoc::OnTick() {
    // Rows that do not run change only through the document, which redraws them then, so
    // the tick visits the running ones alone.
    bool anyRunning = !m_running.empty();
    bool secondTick = m_tickCounter == kTicksPerSecond - 1;
    for (DownloadItem* item : m_running) {
        int index = item->Index();
        ItemRow& row = m_rows[size_t(index)];
        if (secondTick) {
            const TransferJob* job = item->Job();
            if (job && item->HasFlag(IF_DIRTY)) {
                if (m_view) {
                    m_view->SetText(index, ColSize,
                                    item->HasFlag(IF_LIVE) ? "live" : std::to_string(job->Size()));
                    m_view->SetText(index, ColStatus, std::to_string(job->Bytes()));
                    m_view->SetText(index, ColLeft, job->TimeLeftText());
                    m_view->SetText(index, ColSpeed, std::to_string(job->Speed()));
                }
                item->SetFlags(0, IF_DIRTY);
            }
            if (m_view)
                m_view->SetText(index, ColElapsed, FormatElapsed(row.elapsed));
            ++row.elapsed;
        }
        UpdateRowIcon(*item, index);
    }
    m_tickCounter = (m_tickCounter + 1) % kTicksPerSecond;
    if (secondTick && m_listChanged) {
        m_listChanged = false;
        SaveLastList();
    }

    if (anyRunning && !m_trayActive) {
        m_ui->StartTrayCycle();
        m_trayActive = true;
    } else if (!anyRunning && m_trayActive) {
        m_ui->StopTrayCycle();
        m_trayActive = false;
    }

    if (m_tickCounter == 0 && m_activity == 0) {
        if (m_idleCountdown == 0)
            ShowAllWindows(false);
        if (m_idleCountdown >= 0)
            --m_idleCountdown;
    }
}

void CVireoDoc::ShowAllWindows(bool show) {
    if (show) {
        m_ui->ShowToolWindows(true);
        m_ui->ActivateMainWindow(); // last, so the main window ends up the active one
        return;
    }
    if (Settings().GetInt(keys::DropToTray) != 0)
        m_ui->HideMainWindow(); // the tray icon remains the way back
    else
        m_ui->MinimizeMainWindow();
    m_ui->ShowToolWindows(false);
}

} // namespace vireo
