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

io::zlib_params compressorParams() {
    io::zlib_params params(io::zlib::default_compression);
    params.window_bits = 15;
    params.mem_level = 8;
    params.strategy = io::zlib::default_strategy;
    params.noheader = false;
    return params;
}

// Ends a read that would produce more than the cap, before the bytes are buffered anywhere.
class CapFilter : public io::multichar_input_filter {
public:
    explicit CapFilter(uint64_t cap) : left_(cap) {}

    template <class Source>
    std::streamsize read(Source& src, char* s, std::streamsize n) {
        const std::streamsize got = io::read(src, s, n);
        if (got > 0) {
            if (static_cast<uint64_t>(got) > left_)
                throw ArchiveError(ArchiveError::Kind::LimitExceeded,
                                   "decompressed data larger than allowed");
            left_ -= static_cast<uint64_t>(got);
        }
        return got;
    }

private:
    uint64_t left_;
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

void writeCompressed(std::vector<char>& out, const std::function<void(std::ostream&)>& write) {
    io::filtering_ostream os;
    os.push(io::zlib_compressor(compressorParams()));
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

void readCompressed(std::string_view compressed, uint64_t maxDecompressedBytes,
                    const std::function<void(std::istream&)>& read) {
    io::filtering_istream in;
    in.push(CapFilter(maxDecompressedBytes));
    in.push(io::zlib_decompressor());
    in.push(io::array_source(compressed.data(), compressed.size()));
    runReader(in, read);
}

void readCompressed(std::istream& source, uint64_t maxDecompressedBytes,
                    const std::function<void(std::istream&)>& read) {
    io::filtering_istream in;
    in.push(CapFilter(maxDecompressedBytes));
    in.push(io::zlib_decompressor());
    in.push(source);
    runReader(in, read);
}

}  // namespace cmn::archive
