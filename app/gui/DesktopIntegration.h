#pragma once
// The window as a citizen of the desktop: addresses handed over by later starts, desktop
// notifications when downloads end, the clipboard watch, "Open containing folder" in the
// menus, and the tray icon's tooltip with the running downloads and their speed.

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>

class QAction;

namespace vireo {

class CMainFrame;
class CVireoDoc;
class ClipboardWatcher;
class DesktopNotifier;
class RunningCopy;
class WindowUi;
struct HandedOver;

class DesktopIntegration : public QObject {
    Q_OBJECT
public:
    // running may be null (no session bus: nothing is handed over).
    DesktopIntegration(CVireoDoc& doc, CMainFrame& frame, WindowUi& ui, RunningCopy* running);
    ~DesktopIntegration() override;

    // Adds one address as Paste does (first line, trimmed, completed); false when refused.
    bool AddAsPasted(const QString& text);
    // What another start handed over; returns the addresses refused.
    QStringList AddHandedOver(const HandedOver& what);
    // The selected entry's file shown in its folder.
    void ShowSelectedInFolder();

    // "3 running, 1.2 MB/s" for the tray's tooltip.
    static QString TrayToolTip(int running, int64_t bytesPerSecond);
    void UpdateTrayToolTip();

    DesktopNotifier& Notifier() { return *m_notifier; }
    ClipboardWatcher& Clipboard() { return *m_clipboard; }
    QAction* ShowInFolderAction() const { return m_showInFolder; }

private:
    void AddMenuEntries();
    QString SelectedFile() const;

    CVireoDoc& m_doc;
    CMainFrame& m_frame;
    WindowUi& m_ui;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<ClipboardWatcher> m_clipboard;
    QAction* m_showInFolder = nullptr;
    QTimer m_tooltipTimer;
};

} // namespace vireo
