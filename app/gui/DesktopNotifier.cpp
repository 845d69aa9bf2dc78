#include "app/gui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>

namespace vireo {

namespace {
constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr int kNamesShown = 5;

QString FileName(const QString& path) {
    return QFileInfo(path).fileName();
}

QString NameList(const QStringList& names) {
    QStringList shown = names.mid(0, kNamesShown);
    QString text = shown.join('\n');
    if (names.size() > kNamesShown)
        text += QString("\n… and %1 more").arg(names.size() - kNamesShown);
    return text;
}
} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &DesktopNotifier::Send);
    m_openFile = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    m_showInFolder = [](const QString& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kInterface, "ActionInvoked", this,
                SLOT(OnActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, "NotificationClosed", this,
                SLOT(OnClosed(uint, uint)));
}

void DesktopNotifier::Finished(const QString& path) {
    if (m_enabled && !m_enabled())
        return;
    m_finished << path;
    Queue();
}

void DesktopNotifier::Failed(const QString& name, const QString& why) {
    if (m_enabled && !m_enabled())
        return;
    m_failed << (why.isEmpty() ? name : name + ": " + why);
    Queue();
}

void DesktopNotifier::Queue() {
    if (m_timer.isActive())
        return; // goes out with the notification already waiting
    int wait = kGatherMs;
    if (m_sinceSent.isValid())
        wait = std::max<qint64>(wait, kMinGapMs - m_sinceSent.elapsed());
    m_timer.start(wait);
}

DesktopNotifier::Texts DesktopNotifier::Compose(const QStringList& finished,
                                                const QStringList& failed) {
    Texts t;
    QStringList names;
    for (const QString& path : finished)
        names << FileName(path);
    if (failed.isEmpty() && finished.size() == 1) {
        t.summary = "Download finished";
        t.body = names.first();
        t.actions = {"default", "Show Vireo", "open", "Open", "folder", "Open folder"};
    } else if (finished.isEmpty() && failed.size() == 1) {
        t.summary = "Download failed";
        t.body = failed.first();
        t.actions = {"default", "Show Vireo"};
    } else {
        QStringList parts;
        if (!finished.isEmpty())
            parts << QString("%1 finished").arg(finished.size());
        if (!failed.isEmpty())
            parts << QString("%1 failed").arg(failed.size());
        t.summary = "Downloads: " + parts.join(", ");
        t.body = NameList(names + failed);
        t.actions = {"default", "Show Vireo"};
        if (!finished.isEmpty())
            t.actions << "folder"
                      << "Open folder";
    }
    return t;
}

void DesktopNotifier::Send() {
    if (m_finished.isEmpty() && m_failed.isEmpty())
        return;
    Texts t = Compose(m_finished, m_failed);
    QString target = m_finished.isEmpty() ? QString() : m_finished.last();
    m_finished.clear();
    m_failed.clear();
    m_sinceSent.start();

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    QVariantMap hints{{"desktop-entry", QStringLiteral("org.tarnwell.Vireo")},
                      {"category", QStringLiteral("transfer.complete")}};
    if (t.summary == "Download failed")
        hints["category"] = QStringLiteral("transfer.error");
    call << QStringLiteral("Vireo") << uint(0) << QStringLiteral("vireo") << t.summary << t.body
         << t.actions << hints << int(-1);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, target](QDBusPendingCallWatcher* w) {
                QDBusPendingReply<uint> reply = *w;
                if (reply.isValid())
                    m_targets.insert(reply.value(), target);
                w->deleteLater();
            });
}

void DesktopNotifier::OnActionInvoked(uint id, const QString& action) {
    auto it = m_targets.constFind(id);
    if (it == m_targets.constEnd())
        return; // another program's notification
    QString target = *it;
    if (action == "open" && !target.isEmpty())
        m_openFile(target);
    else if (action == "folder" && !target.isEmpty())
        m_showInFolder(target);
    else if (action == "default" && m_activate)
        m_activate();
}

void DesktopNotifier::OnClosed(uint id, uint) {
    m_targets.remove(id);
}

} // namespace vireo
