#include "settings/Startup.h"

#include "settings/ProxyDetect.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vireo {

namespace {
std::string WithoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path.toStdString();
}
} // namespace

std::string AppDataDirectory() {
    QString dir = qEnvironmentVariable("VIREO_HOME");
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
              QStringLiteral("/Tarnwell/Vireo");
    QDir().mkpath(dir);
    return WithoutTrailingSlash(dir);
}

std::string UserDownloadDirectory(const std::string& fallback) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!dir.isEmpty() && QDir().mkpath(dir))
        return WithoutTrailingSlash(dir);
    return fallback;
}

void RunFirstRun(SettingsStore& store, const std::string& downloadDir) {
    SettingsStore::Batch batch(store); // one write of the file, not one a key
    for (const FirstRunValue& v : kFirstRunValues) {
        if (v.isText)
            store.SetString(v.key, v.text);
        else
            store.SetInt(v.key, v.number);
    }
    DetectedProxy proxy = DetectProxy();
    store.SetInt(keys::Proxy, 0);
    store.SetInt(keys::ProxyPort, proxy.port);
    store.SetString(keys::ProxyServer, proxy.found ? proxy.host : "");
    store.SetString(keys::DownPath, downloadDir);
    store.SetInt(keys::Version, 1);
}

void RunSettingsStartup(SettingsStore& store, const std::string& cwd, const MessageFn& message) {
    store.SetString(keys::Cwd, cwd);
    if (store.GetInt(keys::Version) != 1)
        RunFirstRun(store, UserDownloadDirectory(cwd));

    std::string downPath = store.GetString(keys::DownPath);
    if (!QFileInfo(QString::fromStdString(downPath)).isDir()) {
        if (message) {
            message("download directory no found",
                    "download directory " + downPath +
                        "\nnot found, setting current as download directory");
        }
        store.SetString(keys::DownPath, UserDownloadDirectory(cwd));
    }
}

} // namespace vireo
