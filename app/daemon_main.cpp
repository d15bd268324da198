// `quillet daemon`: the resident program without windows, on an asio loop, until a signal or
// the display ends it.

#include <signal.h>

#include <asio.hpp>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/asio_event_loop.h"
#include "app/backend_choice.h"
#include "app/daemon_entry.h"
#include "app/resident_program.h"
#include "cli/commands.h"
#include "persist/files/data_folder.h"

namespace app {

int runDaemon(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    cli::Invocation invocation;
    try {
        invocation = cli::parseInvocation(words);
    } catch (const std::exception& e) {
        err << "quillet: " << e.what() << "\nTry \"quillet --help\".\n";
        return 2;
    }
    std::string backend;
    const std::vector<std::string>& args = invocation.words;
    if (args.size() == 3 && args[1] == "--backend" && isBackendName(args[2])) {
        backend = args[2];
    } else if (args.size() != 1) {
        err << "quillet: the daemon takes only --backend x11 or --backend wayland\nTry \"quillet --help\".\n";
        return 2;
    }

    ResidentSettings settings;
    settings.name = "quillet daemon";
    settings.desktop.backend = backend;
    settings.desktop.report = [&out](const std::string& line) { out << "quillet daemon: " << line << '\n' << std::flush; };
    std::error_code ec;
    const std::filesystem::path folder = invocation.dataFolder ? *invocation.dataFolder : persist::dataFolder();
    settings.dataFolder = std::filesystem::absolute(folder, ec).lexically_normal();
    if (ec) settings.dataFolder = folder;

    ::signal(SIGPIPE, SIG_IGN);
    asio::io_context io;
    AsioEventLoop loop(io);
    ResidentProgram program(loop, settings, err);
    ResidentHooks hooks;
    hooks.ended = [&io] { io.stop(); };
    program.setHooks(std::move(hooks));
    switch (program.startUp()) {
    case ResidentProgram::StartOutcome::AlreadyRunning:
        out << "quillet daemon: " << program.message() << '\n';
        return 0;
    case ResidentProgram::StartOutcome::Failed:
        err << "quillet: " << program.message() << '\n';
        return 1;
    case ResidentProgram::StartOutcome::Started:
        break;
    }
    asio::signal_set signals(io, SIGTERM, SIGINT, SIGHUP);
    signals.async_wait([&](const std::error_code& failed, int) {
        if (failed) return;
        program.shutdown();
        io.stop();
    });
    out << "quillet daemon: recording the clipboard into " << settings.dataFolder.string() << '\n' << std::flush;
    loop.run();
    program.shutdown();
    return 0;
}

}  // namespace app
