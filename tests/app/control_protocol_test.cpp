// The frames of the control channel against bytes written out by hand, and the frames a
// daemon or a client must refuse.

#include <gtest/gtest.h>

#include "app/control_protocol.h"

namespace {

using app::ControlReply;
using app::ControlRequest;
using namespace std::string_literals;

// A 32-bit integer, least significant byte first.
std::string u32(uint32_t v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
}

const std::string kRequestBody =
    "\x01\x00\x00\x00"s                    // run
    "\x05\x00\x00\x00/data"s               // data folder
    "\x04\x00\x00\x00/cwd"s                // working folder
    "\x01"s                                // json
    "\x02\x00\x00\x00"s                    // two words
    "\x03\x00\x00\x00" "add"s
    "\x0B\x00\x00\x00" "--text-file"s
    "\x02\x00\x00\x00" "hi"s;              // standard input

ControlRequest sampleRequest() {
    ControlRequest r;
    r.kind = ControlRequest::Kind::Run;
    r.dataFolder = "/data";
    r.workingFolder = "/cwd";
    r.json = true;
    r.words = {"add", "--text-file"};
    r.standardInput = "hi";
    return r;
}

TEST(ControlProtocol, RequestFrame) {
    const std::string frame = "QCRQ\x01\x00\x00\x00"s + "\x36\x00\x00\x00"s + kRequestBody;
    ASSERT_EQ(kRequestBody.size(), 0x36u);
    EXPECT_EQ(app::encodeRequest(sampleRequest()), frame);
    EXPECT_EQ(app::requestBodyBytes(frame.substr(0, 12)), 0x36u);
    EXPECT_EQ(app::decodeRequestBody(kRequestBody), sampleRequest());

    ControlRequest activate;
    activate.kind = ControlRequest::Kind::Activate;
    EXPECT_EQ(app::encodeRequest(activate),
              "QCRQ\x01\x00\x00\x00\x15\x00\x00\x00"s
              "\x02\x00\x00\x00" "\x00\x00\x00\x00" "\x00\x00\x00\x00" "\x00" "\x00\x00\x00\x00"
              "\x00\x00\x00\x00"s);
}

TEST(ControlProtocol, ReplyFrame) {
    const ControlReply done{ControlReply::Kind::Done, -2, "out\n", "err"};
    const std::string body = "\x01\x00\x00\x00" "\xFE\xFF\xFF\xFF" "\x04\x00\x00\x00" "out\n"
                             "\x03\x00\x00\x00" "err"s;
    EXPECT_EQ(app::encodeReply(done), "QCRP\x01\x00\x00\x00"s + u32(uint32_t(body.size())) + body);
    EXPECT_EQ(app::decodeReplyBody(body), done);

    const std::string notMine = "\x02\x00\x00\x00" "\x00\x00\x00\x00" "\x00\x00\x00\x00"
                                "\x00\x00\x00\x00"s;
    EXPECT_EQ(app::decodeReplyBody(notMine),
              (ControlReply{ControlReply::Kind::NotMine, 0, "", ""}));
}

TEST(ControlProtocol, HeadersOutOfBoundsAreRefusedBeforeTheBody) {
    using app::control::kMaxReplyBytes;
    using app::control::kMaxRequestBytes;
    EXPECT_EQ(app::requestBodyBytes("QCRQ"s + u32(1) + u32(uint32_t(kMaxRequestBytes))),
              uint32_t(kMaxRequestBytes));
    EXPECT_EQ(app::replyBodyBytes("QCRP"s + u32(1) + u32(uint32_t(kMaxReplyBytes))),
              uint32_t(kMaxReplyBytes));
    const std::string refused[] = {
        "QCRQ"s + u32(1) + u32(uint32_t(kMaxRequestBytes) + 1),
        "QCRQ"s + u32(1) + u32(0xFFFFFFFF),
        "QCRQ"s + u32(2) + u32(4),  // a version we do not speak
        "QCRP"s + u32(1) + u32(4),  // a reply where a request belongs
        "QCRQ"s + u32(1) + "\x04\x00\x00"s,
        "GET / HTTP/1.1\r\n"s,
    };
    for (const auto& header : refused) EXPECT_FALSE(app::requestBodyBytes(header)) << header;
    EXPECT_FALSE(app::replyBodyBytes("QCRP"s + u32(1) + u32(uint32_t(kMaxReplyBytes) + 1)));
    EXPECT_FALSE(app::replyBodyBytes("QCRQ"s + u32(1) + u32(4)));
}

TEST(ControlProtocol, MalformedBodiesAreRefused) {
    auto replaced = [](size_t at, const std::string& bytes) {
        std::string body = kRequestBody;
        return body.replace(at, bytes.size(), bytes);
    };
    const struct {
        const char* what;
        std::string body;
    } cases[] = {
        {"empty", ""},
        {"unknown kind", replaced(0, u32(3))},
        {"json neither 0 nor 1", replaced(21, "\x02")},
        {"data folder longer than the body", replaced(4, u32(0x7FFFFFFF))},
        {"data folder over the path cap", replaced(4, u32(4097)) + std::string(4097, 'x')},
        {"more words than the cap", replaced(22, u32(4097))},
        {"more words than there are", replaced(22, u32(3))},
        {"word longer than the body", replaced(26, u32(0xFFFFFFFF))},
        {"input longer than the body", replaced(48, u32(3))},
        {"a byte after the last field", kRequestBody + "x"},
        {"cut in the input", kRequestBody.substr(0, kRequestBody.size() - 1)},
        {"cut in a count", kRequestBody.substr(0, 20)},
    };
    for (const auto& c : cases) EXPECT_FALSE(app::decodeRequestBody(c.body)) << c.what;

    const std::string reply = "\x01\x00\x00\x00" "\x00\x00\x00\x00" "\x00\x00\x00\x00"
                              "\x00\x00\x00\x00"s;
    EXPECT_TRUE(app::decodeReplyBody(reply));
    EXPECT_FALSE(app::decodeReplyBody(reply + "x"));
    EXPECT_FALSE(app::decodeReplyBody("\x03"s + reply.substr(1)));
    EXPECT_FALSE(app::decodeReplyBody(reply.substr(0, 8) + u32(1)));
}

TEST(ControlProtocol, NothingOverACapIsEncoded) {
    auto with = [](auto change) {
        ControlRequest r = sampleRequest();
        change(r);
        return r;
    };
    EXPECT_FALSE(app::encodeRequest(with([](auto& r) { r.words.assign(4097, ""); })));
    EXPECT_FALSE(app::encodeRequest(with([](auto& r) { r.dataFolder.assign(4097, 'x'); })));
    EXPECT_FALSE(app::encodeRequest(with([](auto& r) { r.words[0].assign((1 << 20) + 1, 'x'); })));
    EXPECT_FALSE(app::encodeRequest(
        with([](auto& r) { r.standardInput.assign(app::control::kMaxInputBytes + 1, 'x'); })));
    EXPECT_TRUE(app::encodeRequest(with([](auto& r) { r.words.assign(4096, ""); })));
    EXPECT_FALSE(app::encodeReply({ControlReply::Kind::Done, 0, "", std::string((1 << 20) + 1, 'e')}));
}

}  // namespace
