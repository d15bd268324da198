#pragma once

// The entry of "quillet daemon", called by the quillet program. A build without desktop
// support links a stand-in that says so.

#include <ostream>
#include <string>
#include <vector>

namespace app {

// `words` is the whole command line without the program name, global options included
// ("--data-dir", "DIR", "daemon", ...): cli::parseInvocation() splits it. Returns the exit
// status.
int runDaemon(const std::vector<std::string>& words, std::ostream& out, std::ostream& err);

}  // namespace app
