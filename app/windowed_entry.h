#pragma once

// The entry of the windowed program (`quillet` without a command word), called by the quillet
// program. A build without windows links a stand-in that says so.

#include "app/windowed_start.h"

namespace app {

// Runs the program until it ends; returns the exit status. argc and argv are the process's own
// (the toolkit reads its options from them).
int runWindowed(int& argc, char** argv, const WindowedStart& start);

}  // namespace app
