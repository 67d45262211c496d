#include "app/win32/instance_mutex.h"

#include <gtest/gtest.h>

namespace qelto {
namespace {

// A named mutex that exists already is reported as such to every creator, in this process too:
// another InstanceMutex here behaves as a second copy of the recorder would.
TEST(InstanceMutex, OnlyOneHolderAtATimeAndTheGuardEndsWithItsHandles) {
  {
    InstanceMutex first;
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Acquire()) << "asking again is no second copy";
    InstanceMutex second;
    EXPECT_FALSE(second.Acquire());
  }
  InstanceMutex third;
  EXPECT_TRUE(third.Acquire()) << "Windows removes the mutex with its last handle";
}

}  // namespace
}  // namespace qelto
