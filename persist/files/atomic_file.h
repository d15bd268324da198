#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>

namespace persist {

// Writes a file so that a crash or a full disk in the middle never destroys the previous one:
// the bytes go to a temporary file in the same folder, which is flushed to disk and renamed over
// the target only by commit(). Without a successful commit the temporary file is removed and
// the old file stays whole.
class AtomicFileWriter {
public:
    struct Options {
        // Test hook: the device fails once this many bytes were written.
        std::optional<uint64_t> failAfterBytes;
    };

    // Throws std::system_error when the temporary file cannot be created.
    explicit AtomicFileWriter(std::filesystem::path target, Options options = Options());
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    std::ostream& stream();
    // Flushes, syncs and renames over the target. Throws std::system_error on any failure, after
    // which the target is unchanged.
    void commit();

private:
    class FdBuffer;
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::unique_ptr<FdBuffer> buffer_;
    std::unique_ptr<std::ostream> stream_;
    bool committed_ = false;
};

// Keeps a copy of a file that could not be read beside it as "<name>.bad" (replacing an older
// copy), so that the next save does not destroy the only copy of the user's data. True when
// kept, or when there is no such file.
bool keepUnreadableFile(const std::filesystem::path& file);

}  // namespace persist
