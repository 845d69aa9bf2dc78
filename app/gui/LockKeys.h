#pragma once
// Whether Caps Lock, Num Lock and Scroll Lock are on, read from the keyboard lights the
// kernel exposes (/sys/class/leds). Where none can be read every key counts as off.

#include <string>

namespace vireo {

struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// root is the folder of the lights; tests give their own.
LockKeys ReadLockKeys(const std::string& root = "/sys/class/leds");

} // namespace vireo
