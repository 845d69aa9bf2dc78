#pragma once
// Desktop notifications (org.freedesktop.Notifications on the session bus) for downloads
// that finished or failed. Ends that come close together are told in one notification:
// the first waits a moment for others, and at most one goes out per second, so a burst of
// twenty finishing files gives one or two notifications, not twenty. A finished file's
// notification can open it or show it in its folder.

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace vireo {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // How long the first end waits for others, and the least time between notifications.
    static constexpr int kGatherMs = 300;
    static constexpr int kMinGapMs = 1000;

    explicit DesktopNotifier(QObject* parent = nullptr);

    // enabled is asked at each end (the setting may change while the program runs).
    void SetEnabled(std::function<bool()> enabled) { m_enabled = std::move(enabled); }
    // What the notification's actions do; by default the desktop's handlers.
    void SetOpenFile(std::function<void(const QString&)> open) { m_openFile = std::move(open); }
    void SetShowInFolder(std::function<void(const QString&)> show) {
        m_showInFolder = std::move(show);
    }
    void SetActivate(std::function<void()> activate) { m_activate = std::move(activate); }

    void Finished(const QString& path);
    void Failed(const QString& name, const QString& why);

    // The texts of a notification for what is pending (for the tests of the wording).
    struct Texts {
        QString summary;
        QString body;
        QStringList actions; // key, label, key, label, ...
    };
    static Texts Compose(const QStringList& finished, const QStringList& failed);

private Q_SLOTS:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    void Queue();
    void Send();

    std::function<bool()> m_enabled;
    std::function<void(const QString&)> m_openFile;
    std::function<void(const QString&)> m_showInFolder;
    std::function<void()> m_activate;
    QStringList m_finished; // paths
    QStringList m_failed;   // "name: why"
    QTimer m_timer;
    QElapsedTimer m_sinceSent;
    // The file each shown notification's actions are about (empty for a batch of
    // failures only).
    QHash<uint, QString> m_targets;
};

} // namespace vireo
