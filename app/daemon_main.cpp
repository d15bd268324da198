// `quillet daemon`: one per display, the data folder loaded, the engine on the display, the
// control socket open for the command line, until a signal or the display ends it.

#include <signal.h>

#include <asio.hpp>
#include <filesystem>
#include <ostream>

#include "app/answer_request.h"
#include "app/control_client.h"
#include "app/control_server.h"
#include "app/daemon.h"
#include "app/daemon_entry.h"
#include "app/instance_lock.h"
#include "app/runtime_paths.h"
#include "cli/commands.h"
#include "persist/files/data_folder.h"

namespace app {

namespace {

void answerClient(Daemon& daemon, const ControlRequest& request, const ControlServer::Respond& respond,
                  std::ostream& log) {
    if (request.kind == ControlRequest::Kind::Activate)
        log << "quillet daemon: started again; this daemon keeps running.\n";
    daemon.answer(request, respond);
}

}  // namespace

int runDaemon(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    cli::Invocation invocation;
    try {
        invocation = cli::parseInvocation(words);
    } catch (const std::exception& e) {
        err << "quillet: " << e.what() << "\nTry \"quillet --help\".\n";
        return 2;
    }
    if (invocation.words.size() != 1 || invocation.words[0] != "daemon") {
        err << "quillet: the daemon takes no arguments\nTry \"quillet --help\".\n";
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        err << "quillet: the daemon needs an X display, and DISPLAY is not set.\n";
        return 1;
    }

    DaemonSettings settings;
    settings.display = display;
    std::error_code ec;
    const std::filesystem::path folder = invocation.dataFolder ? *invocation.dataFolder : persist::dataFolder();
    settings.dataFolder = std::filesystem::absolute(folder, ec);
    if (ec) settings.dataFolder = folder;

    try {
        const RuntimePaths paths = runtimePaths();
        std::unique_ptr<InstanceLock> lock = InstanceLock::acquire(paths.lock);
        if (!lock) {
            // One daemon per display: the running one hears of the start, and this one is done.
            ControlRequest activate;
            activate.kind = ControlRequest::Kind::Activate;
            sendRequest(paths.socket, activate);
            out << "quillet daemon is already running on display " << display << ".\n";
            return 0;
        }

        ::signal(SIGPIPE, SIG_IGN);
        asio::io_context io;
        Daemon daemon(io, settings, err);
        std::string error;
        if (!daemon.start(error)) {
            err << "quillet: the daemon cannot use the display: " << error << ".\n";
            return 1;
        }
        ControlServer server(io, *lock, paths.socket,
                             [&](const ControlRequest& request, const ControlServer::Respond& respond) {
                                 answerClient(daemon, request, respond, err);
                             });
        asio::signal_set signals(io, SIGTERM, SIGINT, SIGHUP);
        signals.async_wait([&](const std::error_code& failed, int) {
            if (!failed) daemon.shutdown();
        });
        out << "quillet daemon: recording the clipboard of display " << display << " into "
            << settings.dataFolder.string() << '\n'
            << std::flush;
        io.run();
        return 0;
    } catch (const std::exception& e) {
        err << "quillet: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace app
