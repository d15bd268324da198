#include "persist/files/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "persist/files/data_folder.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using persist::AtomicFileWriter;

using TempFolder = testsupport::TempFolderTest;

using AtomicFile = TempFolder;

TEST_F(AtomicFile, CommitReplacesTheTargetAndLeavesNoTemporaryFile) {
    const auto target = folder / "file";
    write(target, "old");
    {
        AtomicFileWriter writer(target);
        writer.stream() << "new contents";
        EXPECT_EQ(contents(target), "old");  // nothing visible before the commit
        writer.commit();
    }
    EXPECT_EQ(contents(target), "new contents");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFile, AFailureAfterNBytesKeepsTheOldFileWhole) {
    const auto target = folder / "file";
    write(target, "previous good file");
    {
        AtomicFileWriter writer(target, AtomicFileWriter::Options{10});
        writer.stream() << std::string(100000, 'x');
        EXPECT_THROW(writer.commit(), std::system_error);
    }
    EXPECT_EQ(contents(target), "previous good file");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(AtomicFile, AbandonedWriterRemovesItsTemporaryFile) {
    const auto target = folder / "file";
    { AtomicFileWriter(target).stream() << "half"; }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(entries(), 0u);
}

TEST_F(AtomicFile, NewFilesArePrivateReplacedFilesKeepTheirMode) {
    const auto fresh = folder / "fresh";
    AtomicFileWriter(fresh).commit();
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const auto shared = folder / "shared";
    write(shared, "x");
    ::chmod(shared.c_str(), 0644);
    AtomicFileWriter(shared).commit();
    EXPECT_EQ(fs::status(shared).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
}

TEST_F(AtomicFile, UnreadableFileIsKeptAsBadReplacingAnOlderCopy) {
    const auto file = folder / "quillet_history";
    write(folder / "quillet_history.bad", "older bad copy");
    write(file, "bad bytes");
    EXPECT_TRUE(persist::keepUnreadableFile(file));
    EXPECT_EQ(contents(file), "bad bytes");  // still in place until a save replaces it
    EXPECT_EQ(contents(folder / "quillet_history.bad"), "bad bytes");
    EXPECT_TRUE(persist::keepUnreadableFile(folder / "absent"));  // nothing to keep
}

using DataFolder = TempFolder;

TEST_F(DataFolder, ChoosesVariableThenPortableFolderThenXdg) {
    using persist::DataFolderInputs;
    using persist::resolveDataFolder;
    const fs::path exe = folder / "bin";
    fs::create_directories(exe);
    EXPECT_EQ(resolveDataFolder({"/data", exe, "/xdg", "/home/u"}), "/data");
    EXPECT_EQ(resolveDataFolder({std::nullopt, exe, "/xdg", "/home/u"}), "/xdg/quillet");
    write(exe / "quillet.cfg", "");
    EXPECT_EQ(resolveDataFolder({std::nullopt, exe, "/xdg", "/home/u"}), exe);
    EXPECT_EQ(resolveDataFolder({"", std::nullopt, std::nullopt, "/home/u"}),
              "/home/u/.local/share/quillet");
    EXPECT_EQ(resolveDataFolder({std::nullopt, std::nullopt, "relative", "/home/u"}),
              "/home/u/.local/share/quillet");
    EXPECT_TRUE(persist::ensureFolder(folder / "a" / "b"));
    EXPECT_TRUE(fs::is_directory(folder / "a" / "b"));
}

}  // namespace
