// The archive engine on small classes of its own: token rules, class ids, tracking, pointers,
// polymorphic keys, collections, binary blocks, and the reader's defences.

#include <gtest/gtest.h>

#include <sstream>

#include "model/mblock.h"
#include "persist/archive/archive.h"
#include "persist/archive/polymorphic.h"

namespace {

using cmn::archive::ArchiveError;
using cmn::archive::Limits;
using cmn::archive::Reader;
using cmn::archive::Writer;
using Kind = ArchiveError::Kind;

struct Shape {
    virtual ~Shape() = default;
};
struct Circle : Shape {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = true;
    int radius = 0;
    template <class A>
    void serialize(A& ar, unsigned) { ar(radius); }
};
struct Square : Shape {
    static constexpr unsigned archiveVersion = 2;
    static constexpr bool archiveTracked = true;
    std::string name;
    template <class A>
    void serialize(A& ar, unsigned) { ar(name); }
};

// Two numbers around a string, to show the token delimiters.
struct Pair {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;
    int a = 0;
    std::string s;
    int b = 0;
    template <class A>
    void serialize(A& ar, unsigned) { ar(a, s, b); }
};

struct Node {
    static constexpr unsigned archiveVersion = 1;
    static constexpr bool archiveTracked = true;
    int value = 0;
    template <class A>
    void serialize(A& ar, unsigned) { ar(value); }
};

struct Holder {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;
    std::vector<std::unique_ptr<Shape>> shapes;
    std::vector<Shape*> views;  // not owned: refer to the shapes
    std::vector<boost::shared_ptr<Node>> nodes;
    template <class A>
    void serialize(A& ar, unsigned) { ar(shapes, views, nodes); }
};

struct Block {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;
    cmn::mblock<char> block;
    int after = 7;
    template <class A>
    void serialize(A& ar, unsigned) { ar(block, after); }
};

}  // namespace

template <>
struct cmn::archive::PolymorphicBase<Shape> {
    static constexpr bool enabled = true;
    static constexpr bool abstract = true;
    static const PolymorphicRegistry<Shape>& registry() {
        static const auto r = [] {
            PolymorphicRegistry<Shape> reg;
            reg.add<Circle>("Circle").add<Square>("Square");
            return reg;
        }();
        return r;
    }
};

namespace {

template <class T>
std::string saved(const T& object) {
    std::ostringstream out;
    cmn::archive::save(object, out);
    return out.str();
}

template <class T>
void loaded(T& object, const std::string& text, Limits limits = Limits::forFiles()) {
    std::istringstream in(text);
    cmn::archive::load(object, in, limits);
}

Kind loadError(const std::string& text, Limits limits = Limits::forFiles()) {
    Holder h;
    try {
        loaded(h, text, limits);
    } catch (const ArchiveError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no error for: " << text;
    return Kind::StreamError;
}

const std::string kHeader = "22 serialization::archive 3";

TEST(ArchiveEngine, EmptyStringBetweenTwoNumbers) {
    Pair p{5, "", 6};
    EXPECT_EQ(saved(p), kHeader + " 0 0 5 0  6\n");
    Pair back;
    loaded(back, saved(p));
    EXPECT_EQ(back.a, 5);
    EXPECT_EQ(back.b, 6);
    EXPECT_EQ(back.s, "");
}

TEST(ArchiveEngine, StringBytesAreRawAndMayHoldDelimiters) {
    Pair p{1, "a b\n\x01", 2};
    EXPECT_EQ(saved(p), kHeader + " 0 0 1 5 a b\n\x01 2\n");
    Pair back;
    loaded(back, saved(p));
    EXPECT_EQ(back.s, p.s);
    EXPECT_EQ(back.b, 2);
}

std::string blockOf(size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>('a' + i % 26));
    return bytes;
}

TEST(ArchiveEngine, BinaryBlocksByHand) {
    struct Case {
        std::string bytes;
        std::string body;  // what follows the size token, up to the next token
    };
    // base64 of "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzab" (54 bytes) is exactly
    // one line of 72 characters.
    const std::string line54 =
        "YWJjZGVmZ2hpamtsbW5vcHFyc3R1dnd4eXphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5emFi";
    const Case cases[] = {
        {"", " 7"},
        {"A", "\n\nQQ\n7"},
        {"abc", "\n\nYWJj=\n7"},
        {blockOf(54), "\n\n" + line54 + "=\n7"},
        {blockOf(55), "\n\n" + line54 + "\nYw\n7"},
    };
    for (const auto& c : cases) {
        Block b;
        b.block = cmn::mblock<char>(c.bytes);
        const std::string expected =
            kHeader + " 0 0 0 0 " + std::to_string(c.bytes.size()) + c.body + "\n";
        EXPECT_EQ(saved(b), expected) << c.bytes.size();
        Block back;
        back.after = 0;
        loaded(back, expected);
        EXPECT_EQ(back.block.view(), c.bytes);
        EXPECT_EQ(back.after, 7);
    }
}

TEST(ArchiveEngine, BinaryBlockReaderAcceptsRealFileVariants) {
    // Non-zero filler bits in the last character ("QR" instead of "QQ"), line breaks anywhere,
    // and no final line feed.
    Block b;
    loaded(b, kHeader + " 0 0 0 0 1\n\nQR\n7");
    EXPECT_EQ(b.block.view(), "A");
    EXPECT_EQ(b.after, 7);
    loaded(b, kHeader + " 0 0 0 0 3\n\nYW\nJj\n=\n8");
    EXPECT_EQ(b.block.view(), "abc");
    EXPECT_EQ(b.after, 8);
}

TEST(ArchiveEngine, LargeBlockSurvivesWithLineBreaks) {
    Block b;
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes.push_back(static_cast<char>(i * 7));
    b.block = cmn::mblock<char>(bytes);
    const std::string text = saved(b);
    Block back;
    loaded(back, text);
    EXPECT_EQ(back.block.view(), bytes);
    // No line longer than 72 characters.
    size_t start = 0;
    while (true) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        EXPECT_LE(end - start, 72u);
        start = end + 1;
    }
}

TEST(ArchiveEngine, PolymorphicPointersKeysAndReferences) {
    Holder h;
    h.shapes.push_back(std::make_unique<Circle>());
    static_cast<Circle&>(*h.shapes[0]).radius = 4;
    h.shapes.push_back(std::make_unique<Square>());
    static_cast<Square&>(*h.shapes[1]).name = "sq";
    h.views = {h.shapes[0].get(), nullptr};
    // Holder [0]; vector<unique_ptr<Shape>> [1]; Circle [2] key, preamble, object 0; Square [3]
    // key, version 2, object 1; vector<Shape*> [4]: the circle again as class id and object id
    // only, then null as -1; vector of shared pointers [5], empty.
    const std::string expected = kHeader +
                                 " 0 0 0 0 2 2 6 Circle 1 0 0 4 3 6 Square 1 2 1 2 sq"
                                 " 0 0 2 2 0 -1 0 0 0\n";
    EXPECT_EQ(saved(h), expected);

    Holder back;
    loaded(back, expected);
    ASSERT_EQ(back.shapes.size(), 2u);
    auto* circle = dynamic_cast<Circle*>(back.shapes[0].get());
    ASSERT_NE(circle, nullptr);
    EXPECT_EQ(circle->radius, 4);
    ASSERT_NE(dynamic_cast<Square*>(back.shapes[1].get()), nullptr);
    ASSERT_EQ(back.views.size(), 2u);
    EXPECT_EQ(back.views[0], circle);
    EXPECT_EQ(back.views[1], nullptr);
}

TEST(ArchiveEngine, SharedPointersLoadAsOneOwner) {
    Holder h;
    auto n = boost::shared_ptr<Node>(new Node{});
    n->value = 9;
    h.nodes = {n, n};
    // Two empty pointer vectors [1] [2]; vector of shared pointers [3]; shared_ptr [4] "0 1";
    // Node [5] tracked, version 1, object 0; then the reference: 5 0.
    const std::string expected = kHeader + " 0 0 0 0 0 0 0 0 0 0 2 0 1 5 1 1 0 9 5 0\n";
    EXPECT_EQ(saved(h), expected);
    Holder back;
    loaded(back, expected);
    ASSERT_EQ(back.nodes.size(), 2u);
    EXPECT_EQ(back.nodes[0].get(), back.nodes[1].get());
    EXPECT_EQ(back.nodes[0].use_count(), 2);
    EXPECT_EQ(back.nodes[0]->value, 9);
}

TEST(ArchiveEngine, ReaderAcceptsAnyWhitespaceBetweenTokens) {
    Holder back;
    loaded(back, "22 serialization::archive\n3\t0 0 0 0 1 2 6 Circle 1 0\n0 5\r\n0 0 0 0 0 0");
    ASSERT_EQ(back.shapes.size(), 1u);
    EXPECT_EQ(dynamic_cast<Circle*>(back.shapes[0].get())->radius, 5);
}

TEST(ArchiveEngine, BadInputIsAnErrorNeverACrash) {
    struct Case {
        std::string text;
        Kind kind;
    };
    const Case cases[] = {
        {"", Kind::StreamError},
        {"22 serialization::archivf 3", Kind::InvalidSignature},
        {"5 hello 3", Kind::InvalidSignature},
        {"22 serialization::archive 4 0 0", Kind::UnsupportedVersion},
        {kHeader + " 0 0 0 0 1 2 6 Circle", Kind::StreamError},
        {kHeader + " 0 0 0 0 1 2 7 Rhombus 1 0 0 1", Kind::UnregisteredClass},
        {kHeader + " 0 0 0 0 1 5 6 Circle 1 0 0 1", Kind::InvalidClassId},
        {kHeader + " 0 0 0 0 1 2 6 Circle 1 0 3 1 0 0", Kind::InvalidObjectId},
        {kHeader + " 0 0 0 0 1 2 6 Circle 0 0 1", Kind::ClassMismatch},
        {kHeader + " 0 0 0 0 1 2 6 Circle 1 1 0 1", Kind::UnsupportedVersion},
        {kHeader + " 0 0 0 0 x", Kind::BadToken},
        {kHeader + " 0 0 0 0 1 2 6 Circle 1 0 0 12a", Kind::BadToken},
        {kHeader + " 0 0 0 0 1 2 6 Circle 1 0 0 99999999999", Kind::BadToken},
        // A view that refers to the circle as if it were a square.
        {kHeader + " 0 0 0 0 2 2 6 Circle 1 0 0 1 3 6 Square 1 2 1 1 s 0 0 1 3 0", Kind::ClassMismatch},
        // The same class key twice.
        {kHeader + " 0 0 0 0 2 2 6 Circle 1 0 0 1 3 6 Circle", Kind::ClassMismatch},
        // One shape owned twice.
        {kHeader + " 0 0 0 0 2 2 6 Circle 1 0 0 1 2 0", Kind::Inconsistent},
        // A shared pointer to an object that a plain pointer holds.
        {kHeader + " 0 0 0 0 1 2 6 Circle 1 0 0 1 0 0 0 1 0 0 0 1 2 0", Kind::ClassMismatch},
    };
    for (const auto& c : cases) EXPECT_EQ(loadError(c.text), c.kind) << c.text;
}

TEST(ArchiveEngine, LimitsAreCheckedBeforeAllocating) {
    Limits tight{16, 3, 16, 2};
    EXPECT_EQ(loadError(kHeader + " 0 0 0 0 4", tight), Kind::LimitExceeded);
    EXPECT_EQ(loadError(kHeader + " 0 0 0 0 3 2 6 Circle 1 0 0 1 2 1 2 2 2", tight),
              Kind::LimitExceeded);
    Pair p;
    EXPECT_THROW(loaded(p, kHeader + " 0 0 1 4000000000 x", tight), ArchiveError);
    // A huge claimed string length with nothing behind it fails without allocating it.
    EXPECT_THROW(loaded(p, kHeader + " 0 0 1 200000000 x 2"), ArchiveError);
    Block b;
    EXPECT_THROW(loaded(b, kHeader + " 0 0 0 0 17\n\nQQ", tight), ArchiveError);
    EXPECT_THROW(loaded(b, kHeader + " 0 0 0 0 4000000000\n\nQQ"), ArchiveError);
}

TEST(ArchiveEngine, WriterReportsAFailingStream) {
    // A stream that accepts only a few bytes.
    struct Tiny : std::streambuf {
        int left = 10;
        int_type overflow(int_type c) override { return left-- > 0 ? c : traits_type::eof(); }
        std::streamsize xsputn(const char*, std::streamsize n) override {
            std::streamsize ok = std::min<std::streamsize>(n, std::max(left, 0));
            left -= static_cast<int>(ok);
            return ok;
        }
    } buf;
    std::ostream out(&buf);
    Pair p{1, "x", 2};
    EXPECT_THROW(cmn::archive::save(p, out), ArchiveError);
}

// A stream buffer that shows the reader at most `window` bytes at a time, or none at all (0: every
// byte through uflow), as pipes, inflaters and small file buffers do.
class NarrowBuffer : public std::streambuf {
public:
    NarrowBuffer(std::string text, size_t window) : text_(std::move(text)), window_(window) {}
    std::string rest() const { return text_.substr(std::min(next(), text_.size())); }

protected:
    int_type underflow() override {
        if (window_ == 0) return next() < text_.size() ? uchar(text_[next()]) : traits_type::eof();
        const size_t at = next();
        if (at >= text_.size()) return traits_type::eof();
        char* begin = text_.data() + at;
        setg(begin, begin, begin + std::min(window_, text_.size() - at));
        return uchar(*begin);
    }
    int_type uflow() override {
        if (window_ != 0) return std::streambuf::uflow();
        return unbuffered_ < text_.size() ? uchar(text_[unbuffered_++]) : traits_type::eof();
    }

private:
    static int_type uchar(char c) { return traits_type::to_int_type(c); }
    size_t next() const {
        return window_ == 0 ? unbuffered_ : gptr() ? static_cast<size_t>(gptr() - text_.data()) : 0;
    }
    std::string text_;
    size_t window_;
    size_t unbuffered_ = 0;
};

TEST(ArchiveEngine, ReaderScansTokensAcrossAnyBufferBoundary) {
    Holder h;
    h.shapes.push_back(std::make_unique<Circle>());
    static_cast<Circle&>(*h.shapes[0]).radius = -123456;
    h.shapes.push_back(std::make_unique<Square>());
    static_cast<Square&>(*h.shapes[1]).name = std::string(300, 'q') + " \n " + std::string(70, 'z');
    h.views = {h.shapes[1].get()};
    h.nodes = {boost::shared_ptr<Node>(new Node{})};
    Block b;
    std::string bytes;
    for (int i = 0; i < 1000; ++i) bytes.push_back(static_cast<char>(i * 31 + 5));
    b.block = cmn::mblock<char>(bytes);
    b.after = 99;
    const std::string holderText = saved(h);
    const std::string blockText = saved(b);
    for (size_t window : {0, 1, 2, 3, 5, 7, 64, 4096}) {
        NarrowBuffer holderBuffer(holderText + "tail", window);
        std::istream holderIn(&holderBuffer);
        Holder holderBack;
        cmn::archive::load(holderBack, holderIn, Limits::forFiles());
        EXPECT_EQ(saved(holderBack), holderText) << window;
        // The stream stands right after the last token: the final line feed is left.
        EXPECT_EQ(holderBuffer.rest(), "\ntail") << window;

        NarrowBuffer blockBuffer(blockText, window);
        std::istream blockIn(&blockBuffer);
        Block blockBack;
        cmn::archive::load(blockBack, blockIn, Limits::forFiles());
        EXPECT_EQ(blockBack.block.view(), bytes) << window;
        EXPECT_EQ(blockBack.after, 99) << window;
    }
}

}  // namespace
