#pragma once
// The window front end: the application object, the document, the main window and the
// list, started and shut down in order.

#include "app/headless/HeadlessOptions.h"

namespace vireo {

// Runs the program with its main window; returns the exit status.
int RunGui(const HeadlessOptions& options, int argc, char** argv);

} // namespace vireo
