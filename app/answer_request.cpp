#include "app/answer_request.h"

#include <filesystem>
#include <optional>
#include <sstream>

#include "cli/commands.h"
#include "cli/store.h"

namespace app {

namespace {

// The same folder however it is spelled: through symbolic links, "..", a trailing slash.
std::optional<std::filesystem::path> spelledOut(const std::filesystem::path& folder) {
    std::error_code ec;
    auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, ec), ec);
    if (ec) return std::nullopt;
    if (!path.has_filename()) path = path.parent_path();  // "data/" is "data"
    return path;
}

bool sameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
    const auto first = spelledOut(a);
    return first && first == spelledOut(b);
}

}  // namespace

ControlReply answerRequest(const ControlRequest& request, cli::Store& store,
                           cli::DaemonControl* daemon) {
    if (request.kind == ControlRequest::Kind::Activate) return {};
    // A relative folder would be found from the daemon's own working folder, not the caller's.
    const std::filesystem::path folder(request.dataFolder);
    if (!folder.is_absolute() || !sameFolder(folder, store.folder()))
        return ControlReply{ControlReply::Kind::NotMine, 0, "", ""};
    cli::Request command{request.words, request.json, request.workingFolder, request.standardInput};
    std::ostringstream out, err;
    const int status = cli::runCommand(command, out, err, store, daemon);
    return ControlReply{ControlReply::Kind::Done, status, std::move(out).str(), std::move(err).str()};
}

}  // namespace app
