#include "persist/files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <streambuf>
#include <string>
#include <system_error>
#include <vector>

namespace persist {

namespace {
std::system_error lastError(const std::string& what) {
    return std::system_error(errno, std::generic_category(), what);
}
}  // namespace

// An output buffer over a file descriptor; a failed write makes the stream bad.
class AtomicFileWriter::FdBuffer : public std::streambuf {
public:
    FdBuffer(int fd, std::optional<uint64_t> failAfter) : fd_(fd), failAfter_(failAfter) {
        buffer_.resize(64 * 1024);
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }
    ~FdBuffer() override { closeFd(); }

    bool flushAll() { return sync() == 0; }
    int fd() const { return fd_; }
    bool closeFd() {
        if (fd_ < 0) return true;
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

protected:
    int_type overflow(int_type c) override {
        if (sync() != 0) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

    int sync() override {
        const char* p = pbase();
        size_t left = static_cast<size_t>(pptr() - pbase());
        while (left > 0) {
            size_t chunk = left;
            if (failAfter_) {
                if (*failAfter_ <= written_) {
                    errno = ENOSPC;
                    return -1;
                }
                chunk = std::min<uint64_t>(chunk, *failAfter_ - written_);
            }
            const ssize_t n = ::write(fd_, p, chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                return -1;
            }
            p += n;
            left -= static_cast<size_t>(n);
            written_ += static_cast<uint64_t>(n);
        }
        setp(buffer_.data(), buffer_.data() + buffer_.size());
        return 0;
    }

private:
    int fd_;
    std::optional<uint64_t> failAfter_;
    uint64_t written_ = 0;
    std::vector<char> buffer_;
};

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target, Options options)
    : target_(std::move(target)) {
    std::string pattern = target_.string() + ".tmp.XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw lastError("cannot create a temporary file beside " + target_.string());
    temporary_ = pattern;
    buffer_ = std::make_unique<FdBuffer>(fd, options.failAfterBytes);
    stream_ = std::make_unique<std::ostream>(buffer_.get());
}

AtomicFileWriter::~AtomicFileWriter() {
    stream_.reset();
    buffer_.reset();
    if (!committed_ && !temporary_.empty()) {
        std::error_code ec;
        std::filesystem::remove(temporary_, ec);
    }
}

std::ostream& AtomicFileWriter::stream() { return *stream_; }

void AtomicFileWriter::commit() {
    stream_->flush();
    if (!*stream_ || !buffer_->flushAll()) throw lastError("writing " + target_.string());
    if (::fsync(buffer_->fd()) != 0) throw lastError("syncing " + target_.string());
    // A replaced file keeps its permissions; a new one is readable by its owner only, because
    // clipboard history holds whatever the user copied, passwords included.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) ::fchmod(buffer_->fd(), old.st_mode & 07777);
    if (!buffer_->closeFd()) throw lastError("closing " + target_.string());
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        throw lastError("replacing " + target_.string());
    committed_ = true;
    // Make the rename itself durable.
    const auto folder = target_.has_parent_path() ? target_.parent_path() : ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

bool keepUnreadableFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return true;
    auto bad = file;
    bad += ".bad";
    // A copy, not a rename: should the save that follows fail, the original stays in place.
    std::filesystem::copy_file(file, bad, std::filesystem::copy_options::overwrite_existing, ec);
    return !ec;
}

}  // namespace persist
