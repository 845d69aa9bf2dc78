#pragma once
// The application's icon in the notification area: shown, hidden and shown again, its
// menu with a default entry that a left click runs, and a busy animation that cycles
// through a list of icons on a timer. Where the desktop has no notification area every
// operation does nothing and reports failure.

#include "app/gui/CommandTable.h"
#include "app/gui/TrayBackend.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QMenu;

namespace vireo {

class CSystemTray : public QObject {
    Q_OBJECT
public:
    // The tray menu's entry that brings the windows back; a left click runs it.
    static constexpr int kActivate = command_id::Activate;
    static constexpr int kMenuId = 184;

    explicit CSystemTray(std::unique_ptr<TrayBackend> backend, QObject* parent = nullptr);
    ~CSystemTray() override;

    // command receives the ids of the menu entries and of left clicks.
    void SetCommandHandler(std::function<void(int)> command) { m_command = std::move(command); }

    bool Install(const QString& tooltip, int iconNumber, int id);
    bool Unhide();
    bool Hide();
    bool Uninstall();
    bool ChangeIcon(int iconNumber);
    // The text shown over the icon; kept for when the icon is shown again.
    void SetToolTip(const QString& tooltip);
    const QString& ToolTip() const { return m_tooltip; }
    // Marks an entry of the menu as the default (shown bold; a left click runs it).
    bool SetDefaultEntry(int entry, bool byPosition);
    bool LoadFrames(int firstNumber, int lastNumber);
    bool BeginCycle(int periodMs, int durationSeconds);
    void NextFrame();
    void EndCycle();
    // A click on the icon; id is the icon's own or another one's.
    void HandleTrayMouse(int id, TrayBackend::Click click);
    // One tick of the animation timer.
    void CycleTick();

    bool IsAvailable() const { return m_available; }
    bool IsHidden() const { return m_hidden; }
    bool IsShown() const { return m_available && !m_hidden; }
    bool IsCycling() const { return m_cycle.isActive(); }
    int IconNumber() const { return m_iconNumber; }
    int DefaultCommand() const;
    QMenu* Menu() const { return m_menu.get(); }

private:
    void BuildMenu();
    QIcon IconFor(int number) const;

    std::unique_ptr<TrayBackend> m_backend;
    std::unique_ptr<QMenu> m_menu;
    std::function<void(int)> m_command;
    bool m_available = false;
    bool m_hidden = false;
    int m_id = 0;
    QString m_tooltip;
    int m_iconNumber = 0;
    std::vector<int> m_frames;
    QTimer m_cycle;
    int m_frameIndex = 0;
    QElapsedTimer m_cycleStart;
    int m_cycleDuration = 0;
    int m_iconBeforeCycle = 0; // 0: none remembered
    int m_defaultEntry = -1;
    bool m_defaultByPosition = true;
};

} // namespace vireo
