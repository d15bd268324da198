#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/daemon_entry.h"
#include "app/desktop_backend.h"
#include "app/forward.h"
#include "app/windowed_entry.h"
#include "cli/commands.h"
#include "persist/files/data_folder.h"

// A command for a data folder that the resident program holds runs inside it, on its live
// history; otherwise on the data folder's files, under the folder's lock.
int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    // Started by ourselves at exit, to keep our clipboard content served.
    if (const std::optional<int> served = app::runExitClipboardServer(words)) return *served;
    // No command word: the resident program with its windows.
    if (const auto windowed = app::windowedStart(words)) return app::runWindowed(argc, argv, *windowed);
    cli::Invocation invocation;
    try {
        invocation = cli::parseInvocation(words);
    } catch (const std::exception&) {
        return cli::run(words, std::cout, std::cerr);  // which reports the usage error
    }
    if (invocation.action != cli::Invocation::Action::Command)
        return cli::run(words, std::cout, std::cerr);  // help and version never need the folder
    if (invocation.words.front() == "daemon") return app::runDaemon(words, std::cout, std::cerr);

    const std::filesystem::path folder =
        invocation.dataFolder ? *invocation.dataFolder : persist::dataFolder();
    cli::Request request{invocation.words, invocation.json, {}, std::nullopt};
    return app::runForDataFolder(folder, std::move(request), std::cin, std::cout, std::cerr);
}
