#pragma once
// What the settings need at every start: the start directory, the first-run values and
// a usable download directory.

#include <functional>
#include <string>

namespace vireo {

class SettingsStore;

// The application's data directory: $VIREO_HOME, else $XDG_DATA_HOME/Tarnwell/Vireo.
// Created when missing. Returned without a trailing '/'.
std::string AppDataDirectory();
// The user's download directory (created when missing), else the given fallback.
std::string UserDownloadDirectory(const std::string& fallback);

// Writes every first-run value in order, then the detected proxy (never switched on),
// "downpath" and last "version" 1.
void RunFirstRun(SettingsStore& store, const std::string& downloadDir);

using MessageFn = std::function<void(const std::string& caption, const std::string& text)>;

// Stores cwd, runs the first run when "version" is not 1, and replaces a "downpath" that
// names no directory (after telling the user through message).
void RunSettingsStartup(SettingsStore& store, const std::string& cwd, const MessageFn& message);

} // namespace vireo
