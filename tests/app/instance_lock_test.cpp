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
  // The child says whether it holds the lock, then waits until told to die.
  int said[2], told[2];
  ASSERT_EQ(pipe(said), 0);
  ASSERT_EQ(pipe(told), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(said[0]);
    close(told[1]);
    InstanceLock held(path);
    const char holds = held.Acquire() ? 'y' : 'n';
    (void)!write(said[1], &holds, 1);
    char ignored;
    (void)!read(told[0], &ignored, 1);
    _exit(0);  // no destructor runs, as in a crash
  }
  close(said[1]);
  close(told[0]);
  char holds = 0;
  EXPECT_EQ(read(said[0], &holds, 1), 1);
  EXPECT_EQ(holds, 'y') << "the child could not take the lock";
  {
    InstanceLock meanwhile(path);
    EXPECT_FALSE(meanwhile.Acquire()) << "the child's lock did not hold";
  }
  close(told[1]);  // the child dies
  close(said[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
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
