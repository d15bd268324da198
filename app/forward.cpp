#include "app/forward.h"

#include <cstdlib>
#include <istream>
#include <ostream>
#include <system_error>
#include <thread>

#include "app/control_client.h"
#include "app/data_folder_lock.h"
#include "cli/commands.h"
#include "cli/record_builder.h"
#include "cli/session.h"

namespace app {

namespace {

using Clock = std::chrono::steady_clock;

// At most the cap and one byte more, so that too much input is known as such.
std::string readInput(std::istream& input) {
    std::string bytes;
    char buffer[65536];
    while (bytes.size() <= control::kMaxInputBytes &&
           (input.read(buffer, sizeof buffer) || input.gcount() > 0))
        bytes.append(buffer, static_cast<size_t>(input.gcount()));
    return bytes;
}

int fail(std::ostream& err, const std::string& sentence) {
    err << "quillet: " << sentence << '\n';
    return 1;
}

std::string quoted(const std::filesystem::path& folder) { return "\"" + folder.string() + "\""; }

}  // namespace

bool forwardingDisabled() {
    const char* value = std::getenv("QUILLET_NO_DAEMON");
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

std::optional<ControlReply> forwardToResident(const std::filesystem::path& socket,
                                              const std::filesystem::path& dataFolder,
                                              cli::Request& request, std::istream& input) {
    ControlRequest forwarded;
    std::error_code ec;
    forwarded.workingFolder = request.workingFolder.empty() ? std::filesystem::current_path(ec).string()
                                                            : request.workingFolder.string();
    forwarded.dataFolder = dataFolder.string();
    forwarded.json = request.json;
    forwarded.words = request.words;

    std::optional<ControlConnection> connection = ControlConnection::open(socket);
    if (!connection) return std::nullopt;

    if (cli::readsStandardInput(request.words)) {
        if (!request.standardInput) request.standardInput = readInput(input);
        if (request.standardInput->size() > control::kMaxInputBytes)
            return ControlReply{ControlReply::Kind::Done, 1, "",
                                "quillet: The standard input is too large to pass to the running "
                                "quillet (more than 64 MiB).\n"};
        forwarded.standardInput = *request.standardInput;
    }
    return connection->exchange(forwarded);
}

int runForDataFolder(const std::filesystem::path& dataFolder, cli::Request request, std::istream& input,
                     std::ostream& out, std::ostream& err, const FolderWaits& waits) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(dataFolder, ec).lexically_normal();
    if (ec) return fail(err, "The data folder " + quoted(dataFolder) + " cannot be found: " + ec.message() + ".");
    if (request.workingFolder.empty()) request.workingFolder = std::filesystem::current_path(ec);

    const Clock::time_point start = Clock::now();
    for (;;) {
        std::unique_ptr<InstanceLock> lock;
        bool unlockable = false;
        try {
            lock = lockDataFolder(folder);
        } catch (const std::system_error& e) {
            // Where no lock file can be made, nobody can hold the folder, and nothing of ours
            // can write there either: a read-only folder is still read.
            const int code = e.code().value();
            if (code != EACCES && code != EROFS && code != EPERM)
                return fail(err, std::string(e.what()) + ".");
            unlockable = true;
        }
        if (lock || unlockable) {
            cli::Session session(folder);
            return cli::runCommand(request, out, err, session, nullptr);
        }

        const std::optional<FolderHolder> holder = folderHolder(folder);
        const auto waited = Clock::now() - start;
        if (holder && !holder->socket.empty()) {
            if (forwardingDisabled())
                return fail(err, "The data folder " + quoted(folder) + " is in use by the running quillet (process " +
                                     std::to_string(holder->pid) +
                                     "), and QUILLET_NO_DAEMON keeps commands away from it; nothing was changed.");
            if (auto reply = forwardToResident(holder->socket, folder, request, input)) {
                if (reply->kind == ControlReply::Kind::NotMine)
                    return fail(err, "The quillet that holds the data folder " + quoted(folder) +
                                         " answers for another folder; nothing was changed.");
                out << reply->out << std::flush;
                err << reply->err;
                return reply->status;
            }
            if (waited >= waits.forResident)
                return fail(err, "The data folder " + quoted(folder) + " is in use by quillet (process " +
                                     std::to_string(holder->pid) + "), which does not answer on " +
                                     quoted(holder->socket) + "; nothing was changed.");
        } else if (waited >= waits.forCommand) {
            return fail(err, "The data folder " + quoted(folder) + " is in use by another quillet command" +
                                 (holder ? " (process " + std::to_string(holder->pid) + ")" : std::string()) +
                                 "; nothing was changed.");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace app
