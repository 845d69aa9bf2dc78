#include "app/gui/LockKeys.h"

#include <QGuiApplication>

#ifdef VIREO_HAVE_X11
#include <X11/XKBlib.h>
#endif

namespace vireo {

std::optional<LockKeys> ReadLockKeysOf(_XDisplay* display) {
#ifdef VIREO_HAVE_X11
    if (!display)
        return std::nullopt;
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor))
        return std::nullopt;
    // The server's indicators by name: their state follows the locked modifiers whether or
    // not a keyboard light is behind them. A keymap without the name counts as off.
    auto on = [display](const char* name) {
        Atom atom = XInternAtom(display, name, True);
        Bool state = False;
        return atom != None &&
               XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr) && state;
    };
    return LockKeys{on("Caps Lock"), on("Num Lock"), on("Scroll Lock")};
#else
    (void)display;
    return std::nullopt;
#endif
}

std::optional<LockKeys> ReadDisplayLockKeys() {
#ifdef VIREO_HAVE_X11
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        return ReadLockKeysOf(x11->display());
#endif
    return std::nullopt;
}

} // namespace vireo
