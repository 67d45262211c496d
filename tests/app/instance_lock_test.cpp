#include "app/posix/instance_lock.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.h"

namespace qelto {
namespace {

using testing_support::TempDir;

// flock belongs to the open file, so a second copy of the recorder is a second open: another
// InstanceLock in this process behaves as another process would.
TEST(InstanceLock, OnlyOneHolderAtATime) {
  TempDir dir;
  const std::string path = dir.File("Vandrel CallerID.lock");
  {
    InstanceLock first(path);
    ASSERT_TRUE(first.Acquire());
    InstanceLock second(path);
    EXPECT_FALSE(second.Acquire());
    EXPECT_EQ(second.Holder().rfind("process " + std::to_string(getpid()) + " (", 0), 0u)
        << "the one refused is told who holds it: " << second.Holder();
  }
  InstanceLock third(path);
  EXPECT_TRUE(third.Acquire()) << "the guard ends with its holder";
}

TEST(InstanceLock, ReleasedWhenTheHolderDiesWithoutCleaningUp) {
  TempDir dir;
  const std::string path = dir.File("Vandrel CallerID.lock");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceLock held(path);
    held.Acquire();
    _exit(0);  // no destructor runs, as in a crash
  }
  int status = 0;
  waitpid(child, &status, 0);
  InstanceLock next(path);
  EXPECT_TRUE(next.Acquire());
}

TEST(InstanceLock, UnusableFolderMeansRunningWithoutGuard) {
  InstanceLock lock("/nonexistent-folder/Vandrel CallerID.lock");
  EXPECT_TRUE(lock.Acquire());
}

TEST(InstanceLock, DefaultPathFollowsTheRuntimeFolder) {
  EXPECT_NE(InstanceLock::DefaultPath().find("Vandrel CallerID"), std::string::npos);
}

}  // namespace
}  // namespace qelto
