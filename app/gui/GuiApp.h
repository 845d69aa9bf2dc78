#pragma once
// The window front end: the application object, the document, the main window and the
// list, started and shut down in order.

#include "app/RunOptions.h"

namespace vireo {

// Runs the program with its main window; returns the exit status.
int RunGui(const RunOptions& options, int argc, char** argv);

} // namespace vireo
