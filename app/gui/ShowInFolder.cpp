#include "app/gui/ShowInFolder.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace vireo {

void ShowInFolder(const QString& path, std::function<void(const QString&)> fallback) {
    QString folder = QFileInfo(path).absolutePath();
    if (!fallback)
        fallback = [](const QString& dir) { QDesktopServices::openUrl(QUrl::fromLocalFile(dir)); };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fallback(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                       "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())
                            .toString(QUrl::FullyEncoded)}
         << QString();
    // A file manager started by the bus for this call may take a few seconds.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [watcher, folder, fallback](QDBusPendingCallWatcher*) {
                         if (watcher->isError())
                             fallback(folder);
                         watcher->deleteLater();
                     });
}

} // namespace vireo
