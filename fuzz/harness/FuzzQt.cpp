#include "harness/FuzzQt.h"

#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdlib>

namespace vireo::fuzz {

namespace {
std::string& Dir() {
    static std::string dir;
    return dir;
}
void RemoveDir() {
    QDir(QString::fromStdString(Dir())).removeRecursively();
}
} // namespace

void EnsureFuzzApp() {
    if (!Dir().empty())
        return;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "vireo_fuzz";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // lives to the end of the process
    }
    std::string pattern = QDir::tempPath().toStdString() + "/vireo-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    Dir() = pattern;
    std::atexit(RemoveDir);
    OpenSettings(QString::fromStdString(Dir() + "/Vireo.conf"));
}

const std::string& FuzzDir() {
    return Dir();
}

} // namespace vireo::fuzz
