// The stand-in for the windowed program in a build without windows.

#include <iostream>

#include "app/windowed_entry.h"

namespace app {

int runWindowed(int&, char**, const WindowedStart&) {
    std::cerr << "quillet: This build has no windows; \"quillet daemon\" runs without them. "
                 "Try \"quillet --help\".\n";
    return 1;
}

}  // namespace app
