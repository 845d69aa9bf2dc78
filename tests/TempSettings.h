#pragma once
// Gives a test its own settings file and data directory, so no test reads or writes the
// user's real configuration.

#include "settings/SettingsStore.h"

#include <QTemporaryDir>

#include <cstdlib>
#include <string>

namespace vireo::test {

class TempSettings {
public:
    TempSettings() {
        // The user's download directory is $HOME/Downloads without a user-dirs file.
        setenv("HOME", Path("/user").c_str(), 1);
        setenv("XDG_CONFIG_HOME", Path("/user/.config").c_str(), 1);
        setenv("XDG_DATA_HOME", Path("/user/.local/share").c_str(), 1);
        setenv("VIREO_HOME", Path("/home").c_str(), 1);
        Reopen();
    }
    // A fresh store on the same file, as the next start of the program sees it.
    void Reopen() { OpenSettings(ConfigPath()); }
    QString ConfigPath() const { return m_dir.path() + "/Vireo.conf"; }
    std::string Dir() const { return m_dir.path().toStdString(); }
    std::string Path(const char* rest) const { return Dir() + rest; }

private:
    QTemporaryDir m_dir;
};

} // namespace vireo::test
