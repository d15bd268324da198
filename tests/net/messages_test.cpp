// The query and reply messages as archive bytes, written out by hand.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "net/messages.h"
#include "persist/archive/archive.h"

namespace {

using cmn::archive::ArchiveError;
using cmn::archive::Limits;

const std::string kHeader = "22 serialization::archive 3";

template <class T>
std::string saved(const T& message) {
    std::ostringstream out;
    cmn::archive::save(message, out);
    return out.str();
}

template <class T>
T loaded(const std::string& text, T message = T()) {
    std::istringstream in(text);
    cmn::archive::load(message, in, Limits::forNetwork());
    return message;
}

TEST(QueryInfo, NewObjectBytes) {
    // Preamble "0 1", empty user name, kind -1, version -1, flags 0, revision 1, empty host name.
    EXPECT_EQ(saved(net::QueryInfo()), kHeader + " 0 1 0  -1 -1 0 1 0 \n");
}

TEST(QueryInfo, FilledBytesBothWays) {
    net::QueryInfo q;
    q.userName = "J\xC3\xBCrgen";  // UTF-8
    q.objectKind = net::kObjectRecordList;
    q.appVersion = 4000803;
    q.revision = 1;
    q.setHostNameText(u"PC-\u00E9");  // ANSI: one byte E9
    EXPECT_EQ(q.hostName, "PC-\xE9");
    const std::string text = kHeader + " 0 1 7 J\xC3\xBCrgen 1 4000803 0 1 4 PC-\xE9\n";
    EXPECT_EQ(saved(q), text);
    const net::QueryInfo back = loaded<net::QueryInfo>(text);
    EXPECT_EQ(back, q);
    EXPECT_EQ(back.hostNameText(), u"PC-\u00E9");
}

TEST(QueryInfo, ClassVersion0HasNoHostName) {
    net::QueryInfo stale;
    stale.hostName = "previous-peer";
    const net::QueryInfo q =
        loaded<net::QueryInfo>(kHeader + " 0 0 5 alice 0 4000000 0 1\n", stale);
    EXPECT_EQ(q.userName, "alice");
    EXPECT_EQ(q.objectKind, net::kObjectRecord);
    EXPECT_EQ(q.appVersion, 4000000);
    EXPECT_EQ(q.flags, 0);
    EXPECT_EQ(q.revision, 1);
    EXPECT_EQ(q.hostName, "");
}

TEST(QueryInfo, NewerClassVersionIsAnError) {
    EXPECT_THROW(loaded<net::QueryInfo>(kHeader + " 0 2 5 alice 0 4000000 0 1 1 h\n"),
                 ArchiveError);
}

TEST(ReplyInfo, BytesBothWays) {
    struct Case {
        net::ReplyInfo reply;
        std::string text;
    };
    const Case cases[] = {
        {net::ReplyInfo(), kHeader + " 0 0 -1 -1 0 1\n"},
        {net::ReplyInfo{net::kResultAccepted, 4000803, 0, 1}, kHeader + " 0 0 0 4000803 0 1\n"},
        {net::ReplyInfo{net::kResultUntrustedClient, 4000803, net::kReplyFlagUntrustedClient, 1},
         kHeader + " 0 0 3 4000803 4 1\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(saved(c.reply), c.text);
        EXPECT_EQ(loaded<net::ReplyInfo>(c.text), c.reply) << c.text;
    }
}

TEST(Protocol, ConstantValues) {
    EXPECT_EQ(net::kHandshakeWord, 168200108);
    EXPECT_EQ(net::kObjectHistory, 2);
    EXPECT_EQ(net::kResultUnknownObjectKind, 2);
    EXPECT_EQ(net::kResultUntrustedClient, 3);
}

}  // namespace
