// The Wayland backend's parts that need no compositor: the protocol descriptions as generated
// (the newer data-control protocol, which no compositor here offers, is checked against the
// published messages and against the older one that the compositor tests exercise), the keys of
// the virtual keyboard, and the pipe transfers.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/wayland/descriptor_poller.h"
#include "platform/wayland/pipe_transfer.h"
#include "platform/wayland/virtual_keyboard.h"
#include "platform/x11/poll_loop.h"
#include "wayland/ext-data-control-v1-client-protocol.h"
#include "wayland/virtual-keyboard-unstable-v1-client-protocol.h"
#include "wayland/wlr-data-control-unstable-v1-client-protocol.h"

namespace {

using namespace platform;
using namespace platform::wayland;
using platform::x11::PollLoop;
using namespace std::chrono_literals;

struct Message {
    std::string name, signature;
    bool operator==(const Message&) const = default;
};

std::vector<Message> messages(const wl_message* list, int count) {
    std::vector<Message> out;
    for (int i = 0; i < count; ++i) out.push_back({list[i].name, list[i].signature});
    return out;
}

// The wire layout of the data-control interfaces as the protocol documents them: message order
// (the opcodes) and argument signatures. "n" a new object, "o" an object ("?" when it may be
// null), "s" a string, "h" a descriptor, "u" an unsigned integer.
struct Layout {
    const wl_interface* ext;
    const wl_interface* wlr;
    std::vector<Message> requests, events;
};

TEST(WaylandProtocols, BothDataControlProtocolsHaveThePublishedMessagesInTheSameOrder) {
    const std::vector<Layout> layouts = {
        {&ext_data_control_manager_v1_interface, &zwlr_data_control_manager_v1_interface,
         {{"create_data_source", "n"}, {"get_data_device", "no"}, {"destroy", ""}}, {}},
        {&ext_data_control_device_v1_interface, &zwlr_data_control_device_v1_interface,
         {{"set_selection", "?o"}, {"destroy", ""}, {"set_primary_selection", "?o"}},
         {{"data_offer", "n"}, {"selection", "?o"}, {"finished", ""}, {"primary_selection", "?o"}}},
        {&ext_data_control_source_v1_interface, &zwlr_data_control_source_v1_interface,
         {{"offer", "s"}, {"destroy", ""}}, {{"send", "sh"}, {"cancelled", ""}}},
        {&ext_data_control_offer_v1_interface, &zwlr_data_control_offer_v1_interface,
         {{"receive", "sh"}, {"destroy", ""}}, {{"offer", "s"}}},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.ext->name);
        EXPECT_EQ(messages(l.ext->methods, l.ext->method_count), l.requests);
        EXPECT_EQ(messages(l.ext->events, l.ext->event_count), l.events);
        EXPECT_EQ(l.ext->version, 1);
        // The older protocol marks its version-2 messages ("2" before the signature).
        std::vector<Message> wlrRequests = messages(l.wlr->methods, l.wlr->method_count);
        std::vector<Message> wlrEvents = messages(l.wlr->events, l.wlr->event_count);
        for (auto* list : {&wlrRequests, &wlrEvents})
            for (Message& m : *list)
                if (m.signature.starts_with("2")) m.signature.erase(0, 1);
        EXPECT_EQ(wlrRequests, l.requests);
        EXPECT_EQ(wlrEvents, l.events);
    }
    // New objects are made of the protocol's own interfaces.
    EXPECT_EQ(ext_data_control_manager_v1_interface.methods[1].types[0], &ext_data_control_device_v1_interface);
    EXPECT_EQ(ext_data_control_device_v1_interface.events[0].types[0], &ext_data_control_offer_v1_interface);
    EXPECT_EQ(std::string(zwlr_data_control_device_v1_interface.methods[2].signature), "2?o");
}

TEST(WaylandProtocols, TheVirtualKeyboardHasThePublishedMessages) {
    EXPECT_EQ(messages(zwp_virtual_keyboard_v1_interface.methods, zwp_virtual_keyboard_v1_interface.method_count),
              (std::vector<Message>{{"keymap", "uhu"}, {"key", "uuu"}, {"modifiers", "uuuu"}, {"destroy", ""}}));
    EXPECT_EQ(messages(zwp_virtual_keyboard_manager_v1_interface.methods,
                       zwp_virtual_keyboard_manager_v1_interface.method_count),
              (std::vector<Message>{{"create_virtual_keyboard", "on"}}));
}

TEST(VirtualKeyboardKeys, PasteChordKeysHaveTheirInputCodesAndModifiers) {
    struct Case {
        uint32_t vk;
        std::optional<uint32_t> code;
        uint32_t mask;
    };
    const Case cases[] = {
        {VK_CONTROL, 29, 4}, {VK_LCONTROL, 29, 4}, {VK_SHIFT, 42, 1}, {VK_LSHIFT, 42, 1}, {VK_MENU, 56, 8},
        {'V', 47, 0},        {VK_INSERT, 110, 0},  {'A', std::nullopt, 0}, {VK_RETURN, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vk);
        EXPECT_EQ(evdevKey(c.vk), c.code);
        if (c.code) {
            EXPECT_EQ(modifierMask(*c.code), c.mask);
        }
    }
    // Every key the chords use is in the keymap.
    const std::string keymap = pasteKeymap();
    for (const char* name : {"<LCTL> = 37", "<LFSH> = 50", "<AB04> = 55", "<LALT> = 64", "<INS> = 118"})
        EXPECT_NE(keymap.find(name), std::string::npos) << name;
}

class PipeTransfers : public ::testing::Test {
protected:
    void SetUp() override {
        signal(SIGPIPE, SIG_IGN);
        loop_.watch(poller_.fd(), [this] { poller_.dispatch(); });
    }
    void TearDown() override { loop_.unwatch(poller_.fd()); }

    struct ReadEnd {
        std::optional<TransferStatus> status;
        std::string data;
    };
    std::unique_ptr<PipeRead> read(int fd, size_t maxBytes, ReadEnd& end) {
        return std::make_unique<PipeRead>(poller_, loop_, fd, maxBytes, 200ms, [&end](TransferStatus s, std::string d) {
            end.status = s;
            end.data = std::move(d);
        });
    }

    PollLoop loop_;
    DescriptorPoller poller_;
};

TEST_F(PipeTransfers, WhatIsWrittenArrivesWhole) {
    // Larger than a pipe holds, so both ends wait for each other on the loop.
    const auto bytes = std::make_shared<const std::string>(std::string(1 << 20, 'q') + "end");
    const Pipe pipe = makePipe();
    ASSERT_GE(pipe.read, 0);
    std::optional<TransferStatus> written;
    PipeWrite write(poller_, loop_, pipe.write, bytes, 2s, [&](TransferStatus s) { written = s; });
    ReadEnd end;
    auto reader = read(pipe.read, 2 << 20, end);
    ASSERT_TRUE(loop_.runUntil([&] { return end.status && written; }, 5s));
    EXPECT_EQ(*written, TransferStatus::Ok);
    EXPECT_EQ(*end.status, TransferStatus::Ok);
    EXPECT_EQ(end.data, *bytes);
}

TEST_F(PipeTransfers, AReadEndsAtTheCapOrWhenTheWriterStalls) {
    struct Case {
        size_t bytes;
        bool closeAfter;
        TransferStatus expected;
    };
    const Case cases[] = {{100, true, TransferStatus::Ok}, {101, true, TransferStatus::TooBig},
                          {10, false, TransferStatus::Timeout}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.expected));
        const Pipe pipe = makePipe();
        ASSERT_EQ(::write(pipe.write, std::string(c.bytes, 'x').data(), c.bytes), static_cast<ssize_t>(c.bytes));
        if (c.closeAfter) close(pipe.write);
        ReadEnd end;
        auto reader = read(pipe.read, 100, end);
        ASSERT_TRUE(loop_.runUntil([&] { return end.status.has_value(); }, 5s));
        EXPECT_EQ(*end.status, c.expected);
        EXPECT_EQ(end.data.size(), c.expected == TransferStatus::Ok ? c.bytes : 0u);
        if (!c.closeAfter) close(pipe.write);
    }
}

TEST_F(PipeTransfers, AWriteToAReaderThatLeftFailsWithoutEndingTheProgram) {
    const Pipe pipe = makePipe();
    close(pipe.read);
    std::optional<TransferStatus> written;
    PipeWrite write(poller_, loop_, pipe.write, std::make_shared<const std::string>("gone"), 2s,
                    [&](TransferStatus s) { written = s; });
    ASSERT_TRUE(loop_.runUntil([&] { return written.has_value(); }, 5s));
    EXPECT_EQ(*written, TransferStatus::Failed);
}

}  // namespace
