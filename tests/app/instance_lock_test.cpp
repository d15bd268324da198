// One daemon per display: the lock is held by one holder at a time, in this process or another.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/instance_lock.h"
#include "tests/support/temp_folder.h"

namespace {

using LockTest = testsupport::TempFolderTest;

// Whether a child process gets the lock.
bool otherProcessGets(const std::filesystem::path& path) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(app::InstanceLock::acquire(path) ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(LockTest, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    const auto path = folder / "quillet-0.lock";
    auto first = app::InstanceLock::acquire(path);
    ASSERT_TRUE(first);
    EXPECT_FALSE(app::InstanceLock::acquire(path));
    EXPECT_FALSE(otherProcessGets(path));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(contents(path), std::to_string(::getpid()) + "\n");

    first.reset();
    EXPECT_TRUE(otherProcessGets(path));
    EXPECT_TRUE(app::InstanceLock::acquire(path));
}

TEST_F(LockTest, ALockFileThatCannotBeOpenedIsAnError) {
    std::filesystem::create_directory_symlink(folder, folder / "link.lock");
    EXPECT_THROW(app::InstanceLock::acquire(folder / "link.lock"), std::system_error);
    EXPECT_THROW(app::InstanceLock::acquire(folder / "missing" / "x.lock"), std::system_error);
}

}  // namespace
