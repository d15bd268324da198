// The daemon's lock and socket names per display, and the private folder they live in.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/runtime_paths.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

TEST(DisplayKey, NamesOneDisplayAsAFileName) {
    const struct {
        const char* display;
        const char* key;
    } cases[] = {
        {":0", "0"},
        {":0.0", "0"},
        {":1.2", "1"},
        {"unix:0", "0"},
        {"localhost:10.0", "localhost_10"},
        {"host.example.org:3", "host.example.org_3"},
        {"[::1]:2.0", "___1__2"},
        {"/tmp/launch-x/org.xquartz:0", "_tmp_launch-x_org.xquartz_0"},
        {"../../etc:0", ".._.._etc_0"},
        {"", "nodisplay"},
        {":", "nodisplay"},
    };
    for (const auto& c : cases) EXPECT_EQ(app::displayKey(c.display), c.key) << c.display;
    EXPECT_EQ(app::displayKey(std::string(100, 'h') + ":0"), std::string(64, 'h'));
}

class RuntimeFolder : public testsupport::TempFolderTest {
protected:
    app::RuntimeInputs inputs(std::optional<std::string> xdg) {
        return {std::move(xdg), ":0.0", ::getuid(), folder};
    }
    fs::path fallback() const { return folder / ("quillet-" + std::to_string(::getuid())); }
    static unsigned mode(const fs::path& p) {
        struct stat info {};
        ::lstat(p.c_str(), &info);
        return info.st_mode & 07777;
    }
};

TEST_F(RuntimeFolder, TheSessionsRuntimeFolderComesFirst) {
    fs::create_directory(folder / "run");
    const auto paths = app::runtimePaths(inputs((folder / "run").string()));
    EXPECT_EQ(paths.lock, folder / "run" / "quillet-0.lock");
    EXPECT_EQ(paths.socket, folder / "run" / "quillet-0.sock");
    // Unset, relative or missing: our own folder in the temporary folder.
    for (std::optional<std::string> xdg : {std::optional<std::string>(), std::optional<std::string>(""),
                                           std::optional<std::string>("run"),
                                           std::optional<std::string>((folder / "gone").string())})
        EXPECT_EQ(app::runtimeFolder(inputs(xdg)), fallback());
}

TEST_F(RuntimeFolder, OurOwnFolderIsPrivate) {
    EXPECT_EQ(app::runtimePaths(inputs(std::nullopt)).socket, fallback() / "quillet-0.sock");
    EXPECT_TRUE(fs::is_directory(fallback()));
    EXPECT_EQ(mode(fallback()), 0700u);
    // One that others may enter is closed to them.
    ::chmod(fallback().c_str(), 0755);
    app::runtimeFolder(inputs(std::nullopt));
    EXPECT_EQ(mode(fallback()), 0700u);
}

TEST_F(RuntimeFolder, WhatSomebodyElsePutAtTheNameIsRefused) {
    fs::create_directory(folder / "elsewhere");
    fs::create_directory_symlink(folder / "elsewhere", fallback());
    EXPECT_THROW(app::runtimeFolder(inputs(std::nullopt)), std::runtime_error);
    fs::remove(fallback());
    write(fallback(), "a file");
    EXPECT_THROW(app::runtimeFolder(inputs(std::nullopt)), std::runtime_error);
    fs::remove(fallback());
    fs::create_directory(fallback());
    EXPECT_THROW(app::runtimeFolder({std::nullopt, ":0", ::getuid() + 1, folder}), std::runtime_error);
}

}  // namespace
