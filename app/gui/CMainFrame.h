#pragma once
// The main window: menu, flat toolbar, the download list, the status bar and the tray
// icon. It remembers its placement and toolbar layout, hides itself after a time without
// activity, and passes every command to the document.

#include "app/gui/TrayBackend.h"
#include "settings/SettingsStore.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QLabel;

namespace vireo {

class CSystemTray;
class CToolBarEx;
class CVireoDoc;
class CVireoList;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // trayBackend: the notification area to use; null for the desktop's own.
    explicit CMainFrame(CVireoDoc& doc, std::unique_ptr<TrayBackend> trayBackend = nullptr,
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    CVireoList& List() const { return *m_list; }
    CToolBarEx& ToolBar() const { return *m_toolBar; }
    CSystemTray& Tray() const { return *m_tray; }
    CVireoDoc& Doc() const { return m_doc; }
    QAction* Action(int id) const;
    QLabel* MessagePane() const { return m_message; }

    // After the document has started: the list's columns and the title.
    void OnDocumentStarted();

    bool CommandEnabled(int id) const;
    void RunCommand(int id);
    // Enables and disables the menu entries and the toolbar buttons.
    void UpdateCommandStates();

    // ---- Placement: "mwndrect", four times -1 for maximized.
    static Rect DefaultRect(const QSize& screen);
    bool StartsMaximized() const { return m_startMaximized; }
    void ShowAtStart();
    void SavePlacement();
    void SaveBarState();
    void RestoreBarState();

    // ---- Tray icon and idle hiding
    // Shows the tray icon (installing it the first time) or removes it.
    void ShowTrayIcon(bool show);
    // The window was activated or deactivated; minimized tells whether it is minimized.
    void OnActivate(bool active, bool minimized);
    void ShowAbout();

    // Runs the shut-down once: toolbar layout, the document's last list, placement.
    void ShutDown();

    // ---- Questions before a command drops downloads: New with entries not finished, Exit
    // while downloads run. Each has "don't ask again", stored as "asknew" and "askexit".
    struct Answer {
        bool yes = false;
        bool dontAskAgain = false;
    };
    using Asker = std::function<Answer(const QString& text)>;
    // Replaces the message box (tests answer from a script).
    void SetAsker(Asker asker) { m_asker = std::move(asker); }
    bool ConfirmNew();
    bool ConfirmExit();
    // Closes without the question (a signal, the session ending).
    void CloseWithoutAsking();

Q_SIGNALS:
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateMenus();
    // The File menu's entries of the list files used last, made again each time it opens.
    void UpdateRecentLists();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateAccelerators();
    void ApplyPlacement();
    void UpdateLockKeys();
    // Shows a hidden bar or hides a shown one, and checks its menu entry to match.
    void ToggleBar(QWidget* bar, int id);
    // Asks unless key says not to; a "yes" with "don't ask again" stores 0 under key.
    bool Confirm(const IntKey& key, const QString& text);

    CVireoDoc& m_doc;
    CVireoList* m_list = nullptr;
    CToolBarEx* m_toolBar = nullptr;
    std::unique_ptr<CSystemTray> m_tray;
    bool m_trayInstalled = false;
    std::map<int, QAction*> m_actions;
    QMenu* m_fileMenu = nullptr;
    std::vector<QAction*> m_recentActions;
    QLabel* m_message = nullptr;
    QLabel* m_caps = nullptr;
    QLabel* m_num = nullptr;
    QLabel* m_scroll = nullptr;
    QTimer m_commandUpdate;
    int m_updateTicks = 0;
    bool m_startMaximized = false;
    bool m_shutDown = false;
    bool m_closeWithoutAsking = false;
    Asker m_asker;
};

} // namespace vireo
