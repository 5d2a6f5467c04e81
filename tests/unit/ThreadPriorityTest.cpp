#include <gtest/gtest.h>

#include <thread>

#include "core/ThreadPriority.h"

#if defined(__linux__)
#include <sched.h>
#endif

namespace quillora {
namespace {

// A thread put behind the others comes back among them: QThread's own levels could not leave
// the idle class once in it.
TEST(ThreadPriority, AThreadGoesBehindTheOthersAndComesBack) {
#if defined(__linux__) && defined(SCHED_IDLE)
  int behind = -1;
  int back = -1;
  std::thread worker([&] {
    if (SetThisThreadBackground(true)) behind = sched_getscheduler(0);
    if (SetThisThreadBackground(false)) back = sched_getscheduler(0);
  });
  worker.join();
  EXPECT_EQ(behind, SCHED_IDLE);
  EXPECT_EQ(back, SCHED_OTHER);
#else
  GTEST_SKIP() << "scheduling classes are read back on Linux only";
#endif
}

}  // namespace
}  // namespace quillora
