#pragma once
// The tray's busy cycle and the idle hiding of the windows: the countdown armed by the
// main window, and the activity that holds it while the window or a dialog is in use.

#include "downloads/DocumentUi.h"

namespace vireo {

class IdleTracker {
public:
    // Every tick: the tray cycles while anything runs. At the end of each second, while
    // nothing is active, the countdown steps and the windows hide as it passes zero.
    void Tick(bool anyRunning, bool secondEnded, DocumentUi& ui);
    // Shows the tool windows and activates the main window, or hides them all (to the
    // tray when "droptotray" is on, else minimized).
    static void ShowAllWindows(DocumentUi& ui, bool show);

    bool TrayActive() const { return m_trayActive; }
    // Seconds until the windows hide; -1 is off.
    int Countdown() const { return m_countdown; }
    void SetCountdown(int seconds) { m_countdown = seconds; }
    // Above 0 while the main window is active or a dialog is open; the countdown runs only
    // at 0; -1 while minimized.
    int Activity() const { return m_activity; }
    void SetActivity(int value) { m_activity = value; }

    // Counts a modal dialog as activity while it is open, so the windows do not hide
    // under it.
    class ModalScope {
    public:
        explicit ModalScope(IdleTracker& idle) : m_idle(idle) { ++m_idle.m_activity; }
        ~ModalScope() { --m_idle.m_activity; }
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;

    private:
        IdleTracker& m_idle;
    };

private:
    int m_countdown = -1;
    int m_activity = -1;
    bool m_trayActive = false;
};

} // namespace vireo
