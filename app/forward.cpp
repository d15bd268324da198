#include "app/forward.h"

#include <cstdlib>
#include <istream>

#include "app/control_client.h"
#include "app/runtime_paths.h"
#include "cli/record_builder.h"

namespace app {

namespace {

// At most the cap and one byte more, so that too much input is known as such.
std::string readInput(std::istream& input) {
    std::string bytes;
    char buffer[65536];
    while (bytes.size() <= control::kMaxInputBytes &&
           (input.read(buffer, sizeof buffer) || input.gcount() > 0))
        bytes.append(buffer, static_cast<size_t>(input.gcount()));
    return bytes;
}

}  // namespace

bool forwardingDisabled() {
    const char* value = std::getenv("QUILLET_NO_DAEMON");
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

std::optional<ControlReply> forwardToDaemon(const std::filesystem::path& dataFolder,
                                            cli::Request& request, std::istream& input) {
    if (forwardingDisabled()) return std::nullopt;
    ControlRequest forwarded;
    std::error_code ec;
    forwarded.workingFolder = std::filesystem::current_path(ec).string();
    const auto folder = std::filesystem::absolute(dataFolder, ec).lexically_normal();
    if (ec || forwarded.workingFolder.empty()) return std::nullopt;  // nothing to find files from
    forwarded.dataFolder = folder.string();
    forwarded.json = request.json;
    forwarded.words = request.words;

    std::optional<ControlConnection> connection;
    try {
        connection = ControlConnection::open(runtimePaths().socket);
    } catch (const std::exception&) {
        return std::nullopt;  // no private runtime folder: no daemon can be listening there
    }
    if (!connection) return std::nullopt;

    if (cli::readsStandardInput(request.words)) {
        request.standardInput = readInput(input);
        if (request.standardInput->size() > control::kMaxInputBytes)
            return ControlReply{ControlReply::Kind::Done, 1, "",
                                "quillet: The standard input is too large to pass to the quillet "
                                "daemon (more than 64 MiB).\n"};
        forwarded.standardInput = *request.standardInput;
    }
    ControlReply reply = connection->exchange(forwarded);
    if (reply.kind == ControlReply::Kind::NotMine) return std::nullopt;
    return reply;
}

}  // namespace app
