#pragma once
// For targets whose code needs the application object or the settings store: both are made
// once per process, the settings in a private directory removed at exit.

#include <string>

namespace vireo::fuzz {

// Creates the application object and opens a private settings file (once).
void EnsureFuzzApp();
// The private directory (exists after EnsureFuzzApp).
const std::string& FuzzDir();

} // namespace vireo::fuzz
