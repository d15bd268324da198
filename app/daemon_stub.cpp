// The stand-in for "quillet daemon" in a build without the desktop backend.

#include "app/daemon_entry.h"

namespace app {

int runDaemon(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "quillet: This build has no desktop support for the daemon.\n";
    return 1;
}

}  // namespace app
