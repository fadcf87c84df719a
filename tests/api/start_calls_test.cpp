// The start calls and the blocking calls: argument checks, slot exhaustion,
// cancellation from another thread, and a slot freed under a waiter.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include <unistd.h>

#include "api/session.h"
#include "api/wait_collect.h"
#include "support/clips.h"
#include "support/json_fields.h"
#include "support/test_support.h"
#include "videostabilizer.h"

TEST(AnalyzeStart, RejectsAnEmptyInput) {
  EXPECT_EQ(videostabilizer_analyze_start(nullptr, nullptr), -1);
  EXPECT_STREQ(videostabilizer_last_error(), "empty input");
  EXPECT_EQ(videostabilizer_analyze_start("", "x.json"), -1);
  EXPECT_STREQ(videostabilizer_last_error(), "empty input");
  for (int id = 0; id < kMaxSessions; ++id) EXPECT_EQ(videostabilizer_status(id), -1);
}

TEST(AnalyzeBlocking, ChecksOutJsonFirstThenTheInput) {
  EXPECT_EQ(videostabilizer_analyze("", nullptr, nullptr), 0);
  EXPECT_STREQ(videostabilizer_last_error(), "out_json NULL");
  const char *json = "untouched";
  EXPECT_EQ(videostabilizer_analyze("", nullptr, &json), 0);
  EXPECT_STREQ(videostabilizer_last_error(), "empty input");
  EXPECT_STREQ(json, "untouched");
}

TEST(StabilizeStart, RejectsEmptyPathsAndBadOptions) {
  EXPECT_EQ(videostabilizer_stabilize_start("in.mp4", "", nullptr), -1);
  EXPECT_STREQ(videostabilizer_last_error(), "empty path");
  EXPECT_EQ(videostabilizer_stabilize_start(nullptr, "out.mp4", nullptr), -1);
  EXPECT_STREQ(videostabilizer_last_error(), "empty path");
  EXPECT_EQ(videostabilizer_stabilize_start("in.mp4", "out.mp4", "{"), -1);
  EXPECT_STREQ(videostabilizer_last_error(), "bad options_json");
  for (int id = 0; id < kMaxSessions; ++id) EXPECT_EQ(videostabilizer_status(id), -1);
  EXPECT_EQ(videostabilizer_stabilize("in.mp4", "out.mp4", nullptr, nullptr), 0);
  EXPECT_STREQ(videostabilizer_last_error(), "out_json NULL");
}

TEST(StartCalls, SeventeenthSessionIsRefused) {
  TempDir dir;
  std::string missing = dir.file("missing.mp4");
  int ids[kMaxSessions];
  for (int i = 0; i < kMaxSessions; ++i) {
    // Built by appending: GCC 12 at -O3 warns (-Wrestrict) about "text" + std::to_string(n).
    std::string name = "o";
    name += std::to_string(i);
    name += ".mp4";
    std::string output = dir.file(name);
    ids[i] = i % 2 ? videostabilizer_analyze_start(missing.c_str(), nullptr)
                   : videostabilizer_stabilize_start(missing.c_str(), output.c_str(), nullptr);
    ASSERT_EQ(ids[i], i);
  }
  EXPECT_EQ(videostabilizer_analyze_start(missing.c_str(), nullptr), -2);
  EXPECT_STREQ(videostabilizer_last_error(), "too many sessions");
  EXPECT_EQ(videostabilizer_stabilize_start(missing.c_str(), "o.mp4", "{}"), -2);
  EXPECT_STREQ(videostabilizer_last_error(), "too many sessions");
  videostabilizer_free(5);
  EXPECT_EQ(videostabilizer_analyze_start(missing.c_str(), nullptr), 5);
  for (int id = 0; id < kMaxSessions; ++id) videostabilizer_free(id);
}

TEST(AnalyzeBlocking, SuccessReturnsTheReportAndFreesTheSlot) {
  std::string clip = make_clip("ok.mp4", small_clip(6));
  const char *json = nullptr;
  ASSERT_EQ(videostabilizer_analyze(clip.c_str(), nullptr, &json), 1) << videostabilizer_last_error();
  ASSERT_NE(json, nullptr);
  EXPECT_EQ(json_string(json, "ok"), "true");
  EXPECT_EQ(json_number(json, "frames"), 6.0);
  EXPECT_TRUE(file_exists(json_string(json, "transforms_path")));
  EXPECT_TRUE(file_exists(json_string(json, "settings_path")));
  EXPECT_STREQ(videostabilizer_last_error(), "");
  for (int id = 0; id < kMaxSessions; ++id) EXPECT_EQ(videostabilizer_status(id), -1);
}

TEST(AnalyzeBlocking, CancelledFromAnotherThreadReportsAnalyzeFailed) {
  ClipSpec clip_spec = small_clip(240);
  std::string clip = make_clip("cancel_me.mp4", clip_spec);
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    // The blocking call's session is the only one: find it and cancel it.
    while (!done) {
      for (int id = 0; id < kMaxSessions; ++id) {
        if (videostabilizer_status(id) == SESSION_RUNNING) videostabilizer_cancel(id);
      }
      usleep(1000);
    }
  });
  const char *json = "untouched";
  int ok = videostabilizer_analyze(clip.c_str(), nullptr, &json);
  done = true;
  canceller.join();
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(json, nullptr);
  EXPECT_STREQ(videostabilizer_last_error(), "analyze failed");
}

namespace {

// A worker that ends, when asked to, without storing a final state: the
// waiter then keeps waiting until the slot is freed under it.
void end_silently(void *arg) {
  Session *s = static_cast<Session *>(arg);
  while (!session_cancelled(s)) usleep(500);
}

}  // namespace

TEST(WaitAndCollect, ASlotFreedAndReusedUnderTheWaiterIsABadJob) {
  int id = session_alloc("analyze");
  ASSERT_GE(id, 0);
  Session *s = &g_sessions[id];
  unsigned generation = s->generation.load();
  s->thread.store(vs_thread_start(end_silently, s));
  // Another thread frees the job and a stranger's job takes the slot.
  std::thread other([&] {
    usleep(20000);
    videostabilizer_cancel(id);
    videostabilizer_free(id);
    int again = session_alloc("stabilize");
    EXPECT_EQ(again, id);
    session_finish(&g_sessions[again], SESSION_DONE);
  });
  char buffer[kResultSize];
  const char *json = "untouched";
  int ok = wait_and_collect(id, generation, buffer, &json, "analyze failed");
  other.join();
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(json, nullptr);
  EXPECT_STREQ(buffer, "{\"ok\":false,\"error\":\"bad job\"}");
  // The stranger's job was left alone.
  EXPECT_EQ(videostabilizer_status(id), SESSION_DONE);
  g_sessions[id].in_use.store(0);
}
