// Encoded objects: zlib streams of one-object archives, checked against bytes written by hand.

#include "net/codec.h"

#include <gtest/gtest.h>

#include <boost/iostreams/stream.hpp>
#include <string>
#include <vector>

#include "model/mblock.h"
#include "model/record.h"
#include "net/messages.h"
#include "net_test_support.h"

namespace {

using cmn::archive::ArchiveError;
using nettest::kArchiveHeader;
using nettest::toString;
using nettest::zlibCompress;
using nettest::zlibDecompress;

TEST(ContainerDevices, SinkAppendsAndSourceReadsToTheEnd) {
    std::vector<char> bytes = {'a'};
    {
        boost::iostreams::stream<cmn::iostreams::container_sink> out(
            cmn::iostreams::container_sink{bytes});
        out << "bc" << std::string(5000, 'x');
    }
    ASSERT_EQ(bytes.size(), 5003u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "abc");

    const cmn::mblock<char> block(std::string_view("hello world"));
    boost::iostreams::stream<cmn::iostreams::container_source<cmn::mblock<char>>> in(
        cmn::iostreams::container_source<cmn::mblock<char>>{block});
    const std::string all(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(all, "hello world");
}

TEST(EncodeObject, IsZlibsOwnCompressionOfTheArchiveText) {
    net::QueryInfo query;
    query.userName = "bob";
    query.objectKind = net::kObjectRecordList;
    query.appVersion = 4000803;
    query.hostName = "pc7";
    const std::string text = kArchiveHeader + "0 1 3 bob 1 4000803 0 1 3 pc7\n";
    const std::vector<char> encoded = net::encodeObject(query);
    // Default level, 32K window, memory level 8, default strategy: exactly what compress2 makes.
    EXPECT_EQ(toString(encoded), zlibCompress(text));
    EXPECT_EQ(zlibDecompress(toString(encoded)), text);

    net::ReplyInfo reply{net::kResultAccepted, 4000803, 0, 1};
    EXPECT_EQ(zlibDecompress(toString(net::encodeObject(reply))),
              kArchiveHeader + "0 0 0 4000803 0 1\n");
}

TEST(EncodeObject, RecordByValue) {
    cb::Record record;
    record.setPayload(cmn::mblock<char>(std::string_view("abc")));
    record.setTextUtf8("hello");
    record.setApplicationUtf8("app");
    // Tracked class: preamble "1 1", object id 0; the block "abc" as base64 with its "=".
    const std::string text = kArchiveHeader +
                             "1 1 0 0 0 3\n\nYWJj=\n5 hello 3 app 0 -1 0 0 0 8 0 0 0 0 0 0 0 0\n";
    EXPECT_EQ(zlibDecompress(toString(net::encodeObject(record))), text);

    const std::string packed = zlibCompress(text);
    cb::Record back;
    ASSERT_TRUE(net::decodeObject(std::vector<char>(packed.begin(), packed.end()), back));
    EXPECT_EQ(back.textUtf8(), "hello");
    EXPECT_EQ(back.applicationUtf8(), "app");
    EXPECT_EQ(back.payload().view(), "abc");
}

TEST(DecodeObject, ReadsHandWrittenStreams) {
    const std::string packed = zlibCompress(kArchiveHeader + "0 0 3 4000803 4 1\n");
    net::ReplyInfo reply;
    ASSERT_TRUE(net::decodeObject(std::vector<char>(packed.begin(), packed.end()), reply));
    EXPECT_EQ(reply, (net::ReplyInfo{net::kResultUntrustedClient, 4000803, 4, 1}));

    // An older peer's query without the host name.
    const std::string old = zlibCompress(kArchiveHeader + "0 0 5 alice 0 4000000 0 1\n");
    net::QueryInfo query;
    query.hostName = "left over";
    ASSERT_TRUE(net::decodeObject(cmn::mblock<char>(old), query));
    EXPECT_EQ(query.userName, "alice");
    EXPECT_EQ(query.objectKind, net::kObjectRecord);
    EXPECT_EQ(query.hostName, "");
}

TEST(DecodeObject, EmptyContainerLeavesTheObjectAlone) {
    net::ReplyInfo reply{7, 8, 9, 10};
    EXPECT_FALSE(net::decodeObject(std::vector<char>(), reply));
    EXPECT_EQ(reply, (net::ReplyInfo{7, 8, 9, 10}));
}

TEST(DecodeObject, MalformedInputThrows) {
    const std::string good = zlibCompress(kArchiveHeader + "0 0 0 4000803 0 1\n");
    const std::string cases[] = {
        "not zlib at all",                                  // garbage
        good.substr(0, good.size() / 2),                   // truncated stream
        zlibCompress("22 serialization::archive 9 0 0 0 0 0 0\n"),  // library version too new
        zlibCompress(kArchiveHeader + "0 0 0 4000803"),     // archive ends early
    };
    for (const std::string& bytes : cases) {
        net::ReplyInfo reply;
        EXPECT_ANY_THROW(net::decodeObject(std::vector<char>(bytes.begin(), bytes.end()), reply))
            << testing::PrintToString(bytes);
    }
}

TEST(DecodeObject, ARecordOfTheLongestTextIsNotTakenForABomb) {
    // The most text a peer may send, as one line over and over: a column of equal cells copied
    // from a spreadsheet. It deflates about a thousandfold, far beyond the ratio that refuses
    // bombs, and it is still an ordinary record.
    const size_t length = cmn::archive::Limits::forNetwork().maxStringBytes;
    const std::string line = "0;0;0;0;0;0;0;0;0;0\r\n";
    std::string text;
    text.reserve(length);
    while (text.size() + line.size() <= length) text += line;
    text.append(length - text.size(), ' ');
    cb::Record record;
    record.setTextUtf8(text);
    record.setApplicationUtf8("C:\\Program Files\\Office\\EXCEL.EXE");
    record.setPayload(cmn::mblock<char>(std::string_view("abc")));
    const std::vector<char> encoded = net::encodeObject(record);
    ASSERT_GT(text.size() / encoded.size(), 100u);

    cb::Record back;
    ASSERT_TRUE(net::decodeObject(encoded, back));
    EXPECT_TRUE(back.textUtf8() == text);
    EXPECT_EQ(back.applicationUtf8(), record.applicationUtf8());
    EXPECT_EQ(back.payload().view(), "abc");
}

TEST(DecodeObject, DecompressionIsCapped) {
    // A small stream that inflates far beyond what a query may be.
    const std::string bomb =
        zlibCompress(kArchiveHeader + "0 1 2000000 " + std::string(2000000, 'a') + " 0 0 0 1 0 \n");
    ASSERT_LT(bomb.size(), 10000u);
    net::QueryInfo query;
    EXPECT_THROW(net::decodeObject(std::vector<char>(bomb.begin(), bomb.end()), query),
                 ArchiveError);
}

}  // namespace
