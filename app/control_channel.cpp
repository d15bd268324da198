#include "app/control_channel.h"

namespace app {

ControlChannel::ControlChannel(const InstanceLock& lock, std::filesystem::path socket, Post post, Handler handler)
    : io_(std::make_shared<asio::io_context>()) {
    auto serve = [io = io_, post = std::move(post), handler = std::move(handler)](
                     const ControlRequest& request, const ControlServer::Respond& respond) {
        // The reply comes back to this thread, where the connection lives.
        Respond back = [weak = std::weak_ptr<asio::io_context>(io), respond](ControlReply reply) {
            if (const auto io = weak.lock())
                asio::post(*io, [respond, reply = std::move(reply)]() mutable { respond(std::move(reply)); });
        };
        post([handler, request, back = std::move(back)] { handler(request, back); });
    };
    server_ = std::make_unique<ControlServer>(*io_, lock, std::move(socket), std::move(serve));
    work_ = std::make_unique<asio::executor_work_guard<asio::io_context::executor_type>>(io_->get_executor());
    thread_ = std::thread([io = io_] { io->run(); });
}

ControlChannel::~ControlChannel() {
    // The server is closed on its own thread, then the thread runs out of work.
    asio::post(*io_, [this] {
        server_.reset();
        work_.reset();
    });
    thread_.join();
}

}  // namespace app
