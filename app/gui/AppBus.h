#pragma once
// The program's names on the session bus. The well-known name is also the desktop
// entry's name, so a desktop that starts programs over the bus finds it.

namespace vireo::bus {

inline constexpr const char* kService = "org.tarnwell.Vireo";
inline constexpr const char* kPath = "/org/tarnwell/Vireo";
// Our own interface: hand addresses to the running window.
inline constexpr const char* kInterface = "org.tarnwell.Vireo";

} // namespace vireo::bus
