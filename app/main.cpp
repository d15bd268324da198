#include <iostream>
#include <string>
#include <vector>

#include "app/daemon_entry.h"
#include "app/forward.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "persist/files/data_folder.h"

// A command goes to the daemon of this display when one runs for the same data folder, so that
// it works on the live history; otherwise it runs on the data folder's files.
int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    cli::Invocation invocation;
    try {
        invocation = cli::parseInvocation(words);
    } catch (const std::exception&) {
        return cli::run(words, std::cout, std::cerr);  // which reports the usage error
    }
    if (invocation.action != cli::Invocation::Action::Command)
        return cli::run(words, std::cout, std::cerr);  // help and version never need the daemon
    if (invocation.words.front() == "daemon") return app::runDaemon(words, std::cout, std::cerr);

    const std::filesystem::path folder =
        invocation.dataFolder ? *invocation.dataFolder : persist::dataFolder();
    cli::Request request{invocation.words, invocation.json, {}, std::nullopt};
    if (const auto reply = app::forwardToDaemon(folder, request, std::cin)) {
        std::cout << reply->out << std::flush;
        std::cerr << reply->err;
        return reply->status;
    }
    cli::Session session(folder);
    return cli::runCommand(request, std::cout, std::cerr, session, nullptr);
}
