#pragma once
// Sockets, timers and child processes need the thread's event dispatcher, which the
// application object creates. Test programs start from GoogleTest's main, so a program
// that links this library gets the application made before its first test runs; objects
// made before that (in static initialisers) would have no event loop.

#include <QCoreApplication>

namespace vireo::test {

// Returns the running application object, creating one on first use.
QCoreApplication& EnsureTestApp();

} // namespace vireo::test
