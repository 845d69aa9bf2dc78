// The settings file: an INI file that QSettings reads; ours is what makes values of it
// (numbers, texts, lists of a hand-edited text, window rectangles). The input is the file.

#include "harness/FuzzCheck.h"
#include "harness/FuzzQt.h"
#include "settings/SettingsStore.h"

#include <QFile>

using namespace vireo;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::EnsureFuzzApp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QString path = QString::fromStdString(fuzz::FuzzDir() + "/input.conf");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    SettingsStore store(path);
    for (const FirstRunValue& v : kFirstRunValues) {
        if (v.isText)
            store.GetString(v.key, v.text);
        else
            store.GetInt(v.key, v.number);
    }
    for (const StringKey& k : {keys::DownPath, keys::ProxyServer, keys::Name, keys::Email,
                               keys::Cwd, keys::CaFile, keys::SupportServer})
        store.GetString(k);
    for (const IntKey& k :
         {keys::Proxy, keys::ProxyPort, keys::FtpPassive, keys::BusyIdle, keys::Version})
        store.GetInt(k);
    for (const RectKey& k : {keys::HistoryRect, keys::LogRect, keys::MainWndRect})
        store.GetRect(k, Rect{1, 2, 3, 4});
    return 0;
}
