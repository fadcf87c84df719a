// The process-wide lock, first used by many threads at the same moment. In a
// program of its own, so that this test is the lock's first use.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "api/global_lock.h"

TEST(GlobalLock, FirstUseFromManyThreadsAtOnceCreatesOneWorkingLock) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 20000;
  std::atomic<int> waiting{0};
  std::atomic<int> inside{0};
  long long counter = 0;  // guarded only by the lock
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      waiting.fetch_add(1);
      while (waiting.load() < kThreads) {
      }
      for (int i = 0; i < kRounds; ++i) {
        GlobalLockHold hold;
        EXPECT_EQ(inside.fetch_add(1), 0);
        ++counter;
        inside.fetch_sub(1);
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
  EXPECT_EQ(counter, static_cast<long long>(kThreads) * kRounds);
}
