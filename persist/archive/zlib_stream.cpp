#include "persist/archive/zlib_stream.h"

#include <boost/iostreams/device/array.hpp>
#include <boost/iostreams/device/back_inserter.hpp>
#include <boost/iostreams/filter/zlib.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <boost/iostreams/operations.hpp>

#include "persist/archive/error.h"

namespace io = boost::iostreams;

namespace cmn::archive {

namespace {

io::zlib_params compressorParams(Deflate how = Deflate::Default) {
    io::zlib_params params(io::zlib::default_compression);
    params.window_bits = 15;
    params.mem_level = 8;
    params.strategy = how == Deflate::HuffmanOnly ? io::zlib::huffman_only : io::zlib::default_strategy;
    params.noheader = false;
    return params;
}

// What has gone through the decompressor, shared by the two filters around it (the chain keeps
// copies of its filters).
struct InflateCount {
    uint64_t in = 0;
    uint64_t out = 0;
};

// Below the decompressor: counts the compressed bytes it consumes. The decompressor reads ahead
// by its buffer, which errs on the side of accepting.
class InputCounter : public io::multichar_input_filter {
public:
    explicit InputCounter(std::shared_ptr<InflateCount> count) : count_(std::move(count)) {}

    template <class Source>
    std::streamsize read(Source& src, char* s, std::streamsize n) {
        const std::streamsize got = io::read(src, s, n);
        if (got > 0) count_->in += static_cast<uint64_t>(got);
        return got;
    }

private:
    std::shared_ptr<InflateCount> count_;
};

// Above the decompressor: ends a read that would take the output beyond the limits, before the
// bytes are buffered anywhere.
class CapFilter : public io::multichar_input_filter {
public:
    CapFilter(const InflateLimits& limits, std::shared_ptr<InflateCount> count)
        : limits_(limits), count_(std::move(count)) {}

    template <class Source>
    std::streamsize read(Source& src, char* s, std::streamsize n) {
        const std::streamsize got = io::read(src, s, n);
        if (got > 0) {
            const uint64_t out = count_->out + static_cast<uint64_t>(got);
            if (out > limits_.maxBytes)
                throw ArchiveError(ArchiveError::Kind::LimitExceeded,
                                   "decompressed data larger than allowed");
            if (out > limits_.ratioFreeBytes && limits_.maxRatio != 0 &&
                out / limits_.maxRatio > count_->in)
                throw ArchiveError(ArchiveError::Kind::LimitExceeded,
                                   "compressed data inflates more than real data does");
            count_->out = out;
        }
        return got;
    }

private:
    InflateLimits limits_;
    std::shared_ptr<InflateCount> count_;
};

// Stream exceptions inside the filter chain surface as failed reads; rethrow the first one.
void runReader(io::filtering_istream& in, const std::function<void(std::istream&)>& read) {
    in.exceptions(std::ios::badbit);
    try {
        read(in);
    } catch (const std::ios::failure&) {
        throw ArchiveError(ArchiveError::Kind::StreamError, "bad compressed data");
    }
}

}  // namespace

void writeCompressed(std::vector<char>& out, const std::function<void(std::ostream&)>& write,
                     Deflate how) {
    io::filtering_ostream os;
    os.push(io::zlib_compressor(compressorParams(how)));
    os.push(io::back_inserter(out));
    write(os);
    os.reset();  // closes the compressor: the stream is complete
}

void writeCompressed(std::ostream& sink, const std::function<void(std::ostream&)>& write) {
    io::filtering_ostream os;
    os.push(io::zlib_compressor(compressorParams()));
    os.push(sink);
    os.exceptions(std::ios::badbit);  // only once the chain is complete: an empty one is bad
    write(os);
    os.reset();
    if (!sink) throw ArchiveError(ArchiveError::Kind::StreamError, "writing failed");
}

void readCompressed(std::string_view compressed, const InflateLimits& limits,
                    const std::function<void(std::istream&)>& read) {
    auto count = std::make_shared<InflateCount>();
    io::filtering_istream in;
    in.push(CapFilter(limits, count));
    in.push(io::zlib_decompressor());
    in.push(InputCounter(count));
    in.push(io::array_source(compressed.data(), compressed.size()));
    runReader(in, read);
}

void readCompressed(std::istream& source, const InflateLimits& limits,
                    const std::function<void(std::istream&)>& read) {
    auto count = std::make_shared<InflateCount>();
    io::filtering_istream in;
    in.push(CapFilter(limits, count));
    in.push(io::zlib_decompressor());
    in.push(InputCounter(count));
    in.push(source);
    runReader(in, read);
}

}  // namespace cmn::archive
