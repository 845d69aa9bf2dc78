#include "downloads/IdleTracker.h"

#include "settings/SettingsStore.h"

namespace vireo {

void IdleTracker::Tick(bool anyRunning, bool secondEnded, DocumentUi& ui) {
    if (anyRunning && !m_trayActive) {
        ui.StartTrayCycle();
        m_trayActive = true;
    } else if (!anyRunning && m_trayActive) {
        ui.StopTrayCycle();
        m_trayActive = false;
    }

    if (secondEnded && m_activity == 0) {
        if (m_countdown == 0)
            ShowAllWindows(ui, false);
        if (m_countdown >= 0)
            --m_countdown;
    }
}

void IdleTracker::ShowAllWindows(DocumentUi& ui, bool show) {
    if (show) {
        ui.ShowToolWindows(true);
        ui.ActivateMainWindow(); // last, so the main window ends up the active one
        return;
    }
    if (Settings().GetInt(keys::DropToTray) != 0)
        ui.HideMainWindow(); // the tray icon remains the way back
    else
        ui.MinimizeMainWindow();
    ui.ShowToolWindows(false);
}

} // namespace vireo
