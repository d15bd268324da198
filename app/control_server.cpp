#include "app/control_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <map>
#include <system_error>

namespace app {

using asio::local::stream_protocol;

struct ControlServer::Shared : std::enable_shared_from_this<ControlServer::Shared> {
    Shared(asio::io_context& io, Handler handler, ControlServerSettings settings)
        : acceptor(io), retry(io), handler(std::move(handler)), settings(settings) {}

    void accept();

    stream_protocol::acceptor acceptor;
    asio::steady_timer retry;
    Handler handler;
    ControlServerSettings settings;
    std::map<uint64_t, std::weak_ptr<Connection>> connections;
    uint64_t nextId = 0;
    bool closed = false;
};

// One client: header, body, the handler's reply, closed. Every step waits at most the I/O
// time-out for the next bytes to move.
class ControlServer::Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(stream_protocol::socket socket, std::shared_ptr<Shared> shared, uint64_t id)
        : socket_(std::move(socket)), timer_(socket_.get_executor()), shared_(std::move(shared)),
          id_(id) {}

    void start() { readHeader(); }

    void close() {
        if (closed_) return;
        closed_ = true;
        std::error_code ignored;
        socket_.close(ignored);
        timer_.cancel();
        shared_->connections.erase(id_);
        const auto keep = std::move(self_);  // the last reference may go with the function
    }

private:
    // The next step must begin within the time-out.
    void arm() {
        const uint64_t generation = ++generation_;
        timer_.expires_after(shared_->settings.ioTimeout);
        timer_.async_wait([self = shared_from_this(), generation](const std::error_code& ec) {
            // A wait that had already expired when the timer was set again is not ours.
            if (!ec && generation == self->generation_) self->close();
        });
    }

    void readHeader() {
        arm();
        asio::async_read(socket_, asio::buffer(header_),
                         [self = shared_from_this()](const std::error_code& ec, size_t) {
                             if (ec || self->closed_) return self->close();
                             const auto count = requestBodyBytes(
                                 std::string_view(self->header_.data(), self->header_.size()));
                             if (!count) return self->close();
                             self->expected_ = *count;
                             self->readBody();
                         });
    }

    // The body grows with the bytes that arrive, never by what the header claims.
    void readBody() {
        if (body_.size() == expected_) return answer();
        arm();
        const size_t wanted = std::min(chunk_.size(), expected_ - body_.size());
        socket_.async_read_some(asio::buffer(chunk_.data(), wanted),
                                [self = shared_from_this()](const std::error_code& ec, size_t n) {
                                    if (ec || self->closed_) return self->close();
                                    self->body_.append(self->chunk_.data(), n);
                                    self->readBody();
                                });
    }

    void answer() {
        ++generation_;
        timer_.cancel();
        const auto request = decodeRequestBody(body_);
        body_ = std::string();
        if (!request) return close();
        // Nothing is pending while the handler works on the reply: this keeps the connection.
        self_ = shared_from_this();
        const Respond respond = [weak = weak_from_this()](ControlReply reply) {
            if (const auto self = weak.lock()) self->reply(std::move(reply));
        };
        try {
            shared_->handler(*request, respond);
        } catch (const std::exception& e) {
            reply(ControlReply{ControlReply::Kind::Done, 1, "", std::string("quillet: ") + e.what() + "\n"});
        }
    }

    void reply(ControlReply reply) {
        if (closed_ || replied_) return;  // the server went away, or this is a second reply
        replied_ = true;
        const auto keep = std::move(self_);
        if (reply.out.size() > control::kMaxOutputBytes) {
            reply.status = 1;
            reply.out.clear();
            reply.err = "quillet: The output is too large to pass on from the quillet daemon.\n";
        }
        if (reply.err.size() > control::kMaxErrorBytes) reply.err.resize(control::kMaxErrorBytes);
        reply_ = encodeReply(reply).value_or(std::string());
        writeReply();
    }

    void writeReply() {
        if (written_ == reply_.size()) return close();
        arm();
        socket_.async_write_some(asio::buffer(reply_.data() + written_, reply_.size() - written_),
                                 [self = shared_from_this()](const std::error_code& ec, size_t n) {
                                     if (ec || self->closed_) return self->close();
                                     self->written_ += n;
                                     self->writeReply();
                                 });
    }

    stream_protocol::socket socket_;
    asio::steady_timer timer_;
    std::shared_ptr<Shared> shared_;
    uint64_t id_;
    uint64_t generation_ = 0;
    bool closed_ = false;
    bool replied_ = false;
    std::shared_ptr<Connection> self_;  // while the handler has the request
    std::array<char, control::kHeaderBytes> header_{};
    std::array<char, 64 * 1024> chunk_{};
    size_t expected_ = 0;
    std::string body_;
    std::string reply_;
    size_t written_ = 0;
};

void ControlServer::Shared::accept() {
    acceptor.async_accept([self = shared_from_this()](const std::error_code& ec,
                                                      stream_protocol::socket socket) {
        if (self->closed) return;
        if (ec) {
            // Out of descriptors, say: not the end of the server, but no reason to spin either.
            self->retry.expires_after(std::chrono::milliseconds(100));
            self->retry.async_wait([self](const std::error_code& waited) {
                if (!waited && !self->closed) self->accept();
            });
            return;
        }
        if (self->connections.size() >= self->settings.maxConnections) {
            std::error_code ignored;
            socket.close(ignored);
        } else {
            const uint64_t id = self->nextId++;
            auto connection = std::make_shared<Connection>(std::move(socket), self, id);
            self->connections.emplace(id, connection);
            connection->start();
        }
        self->accept();
    });
}

namespace {

std::system_error failure(int error, const std::string& what) {
    return std::system_error(error, std::generic_category(), what);
}

// Whether a process listens on the socket file. Without waiting: a listener that never
// accepts (its backlog full) counts as one.
bool answers(asio::io_context& io, const stream_protocol::endpoint& endpoint) {
    stream_protocol::socket probe(io);
    std::error_code ec;
    probe.open(stream_protocol(), ec);
    if (ec) return false;
    probe.non_blocking(true, ec);
    probe.connect(endpoint, ec);
    return !ec || ec == asio::error::would_block || ec == asio::error::try_again ||
           ec == asio::error::in_progress;
}

}  // namespace

ControlServer::ControlServer(asio::io_context& io, const InstanceLock&,
                             std::filesystem::path socketPath, Handler handler,
                             ControlServerSettings settings)
    : socketPath_(std::move(socketPath)),
      shared_(std::make_shared<Shared>(io, std::move(handler), settings)) {
    const stream_protocol::endpoint endpoint(socketPath_.string());
    struct stat info {};
    if (::lstat(socketPath_.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode))
            throw failure(EEXIST, "\"" + socketPath_.string() + "\" is not a socket");
        if (answers(io, endpoint))
            throw failure(EADDRINUSE, "Another process answers on \"" + socketPath_.string() + "\"");
        // Left by a daemon that ended without removing it.
        if (::unlink(socketPath_.c_str()) != 0 && errno != ENOENT)
            throw failure(errno, "The old socket \"" + socketPath_.string() + "\" cannot be removed");
    }
    auto& acceptor = shared_->acceptor;
    acceptor.open(endpoint.protocol());
    ::fcntl(acceptor.native_handle(), F_SETFD, FD_CLOEXEC);
    acceptor.bind(endpoint);
    // The folder is private already; the socket is as well, in case it is not.
    if (::chmod(socketPath_.c_str(), 0600) != 0 || ::lstat(socketPath_.c_str(), &info) != 0) {
        const int error = errno;
        ::unlink(socketPath_.c_str());
        throw failure(error, "The socket \"" + socketPath_.string() + "\" cannot be made private");
    }
    device_ = info.st_dev;
    inode_ = info.st_ino;
    acceptor.listen();
    shared_->accept();
}

ControlServer::~ControlServer() {
    shared_->closed = true;
    std::error_code ignored;
    shared_->acceptor.close(ignored);
    shared_->retry.cancel();
    const auto connections = shared_->connections;
    for (const auto& [id, weak] : connections)
        if (auto connection = weak.lock()) connection->close();
    struct stat info {};
    if (::lstat(socketPath_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_)
        ::unlink(socketPath_.c_str());
}

ControlServer::Handler ControlServer::answering(std::function<ControlReply(const ControlRequest&)> answer) {
    return [answer = std::move(answer)](const ControlRequest& request, const Respond& respond) {
        respond(answer(request));
    };
}

size_t ControlServer::connections() const { return shared_->connections.size(); }

}  // namespace app
