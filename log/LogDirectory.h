#pragma once
// Where transfer logs live: the user's state directory, never beside the downloads.

#include <string>

namespace vireo {

// $VIREO_HOME/logs when VIREO_HOME is set, else $XDG_STATE_HOME/Tarnwell/Vireo/logs
// (~/.local/state when XDG_STATE_HOME is unset or not absolute). Without a trailing '/';
// not created here: the first log file written creates it.
std::string TransferLogDirectory();

} // namespace vireo
