#pragma once
// Whether Caps Lock, Num Lock and Scroll Lock are on, as the display server has them (not
// the lights of the machine's own keyboard, which say nothing about a remote or virtual
// display). Only an X server can be asked; elsewhere there is no answer.

#include <optional>

struct _XDisplay;

namespace vireo {

struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// The application's display; nothing where it cannot be read (Wayland, offscreen, an X
// server without the keyboard extension).
std::optional<LockKeys> ReadDisplayLockKeys();
// The same for a given X connection (tests open their own).
std::optional<LockKeys> ReadLockKeysOf(_XDisplay* display);

} // namespace vireo
