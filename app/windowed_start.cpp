#include "app/windowed_start.h"

#include <algorithm>
#include <cctype>

#include "cli/commands.h"

namespace app {

namespace {

bool sameIgnoringCase(const std::string& a, const char* b) {
    const std::string other(b);
    return a.size() == other.size() &&
           std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<StartSwitch> asSwitch(const std::string& word) {
    if (sameIgnoringCase(word, "/Commit")) return StartSwitch::Commit;
    if (sameIgnoringCase(word, "/Uninstall")) return StartSwitch::Uninstall;
    if (sameIgnoringCase(word, "-startup")) return StartSwitch::Startup;
    return std::nullopt;
}

}  // namespace

std::optional<WindowedStart> windowedStart(const std::vector<std::string>& words) {
    WindowedStart start;
    std::vector<std::string> rest;
    for (const std::string& word : words) {
        const std::optional<StartSwitch> found = asSwitch(word);
        if (!found) {
            rest.push_back(word);
            continue;
        }
        // The enumeration's order is the order of precedence.
        if (start.startSwitch == StartSwitch::None || *found < start.startSwitch) start.startSwitch = *found;
    }
    cli::Invocation invocation;
    try {
        invocation = cli::parseInvocation(rest);
    } catch (const std::exception&) {
        return std::nullopt;  // the command line reports the usage error
    }
    const bool askedForHelp = std::any_of(rest.begin(), rest.end(), [](const std::string& w) {
        return w == "--help" || w == "-h";
    });
    if (invocation.action != cli::Invocation::Action::Help || askedForHelp || !invocation.words.empty())
        return std::nullopt;
    start.dataFolder = invocation.dataFolder;
    return start;
}

}  // namespace app
