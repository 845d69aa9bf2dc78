#pragma once
// Runs the test's own event loop until a condition holds: the engine under test is
// single-threaded, so nothing it does happens unless the test spins the loop.

#include <functional>

namespace vireo::test {

// Processes events until done() is true or timeoutMs have passed; returns done()'s last
// value. done() is checked at least every 10 ms, so it may also watch outside state
// (a file, a child process). WaitUntil([] { return false; }, ms) spins for ms.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

} // namespace vireo::test
