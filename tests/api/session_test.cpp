// The session table: claiming slots, the id checks of the five session
// exports, the lifecycle of a job as the host sees it, and freeing.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "api/registry.h"
#include "api/session.h"
#include "support/fake_job.h"
#include "support/session_fixture.h"
#include "videostabilizer.h"

namespace {

constexpr const char *kBadProgress = "{\"state\":-1}";
constexpr const char *kBadResult = "{\"ok\":false,\"error\":\"bad job\"}";

using SessionTable = SessionFixture;

// Every field of a free slot set to something other than zero, as a slot
// left behind by an earlier job would be.
void dirty(Session &s) {
  s.state = 5;
  s.cancel_requested = 1;
  s.percent = 77;
  s.frames_done = 8;
  s.frames_total = 9;
  s.pass = 1;
  std::memset(s.kind, 'k', sizeof s.kind);
  std::memset(s.input_path, 'i', sizeof s.input_path);
  std::memset(s.output_path, 'o', sizeof s.output_path);
  std::memset(s.settings_out_path, 's', sizeof s.settings_out_path);
  std::memset(s.trf_path, 't', sizeof s.trf_path);
  std::memset(s.tmp_settings_path, 'j', sizeof s.tmp_settings_path);
  std::memset(&s.options, 0x5a, sizeof s.options);
  s.shakiness = s.max_shift_px = s.crop_percent = s.duration_s = 1.5;
  s.frames = 3;
  s.size_bytes = s.elapsed_ms = 4;
  std::memset(s.error, 'e', sizeof s.error);
  std::memset(s.result_json, 'r', sizeof s.result_json);
  s.wrote_trf = s.wrote_settings = 1;
  s.file_count = 2;
  s.in_use = 0;
}

bool all_zero(const void *bytes, std::size_t size) {
  const auto *p = static_cast<const unsigned char *>(bytes);
  for (std::size_t i = 0; i < size; ++i) {
    if (p[i]) return false;
  }
  return true;
}

}  // namespace

TEST_F(SessionTable, ClaimsTheLowestFreeSlotAndNoMoreThanSixteen) {
  for (int i = 0; i < kMaxSessions; ++i) EXPECT_EQ(session_alloc(i % 2 ? "analyze" : "stabilize"), i);
  EXPECT_EQ(session_alloc("analyze"), -1);
  session_free(9);
  session_free(5);
  EXPECT_EQ(session_alloc("analyze"), 5);
  EXPECT_EQ(session_alloc("analyze"), 9);
  EXPECT_EQ(session_alloc("analyze"), -1);
}

TEST_F(SessionTable, ClaimResetsEveryFieldALeftoverRecordHeld) {
  Session &s = g_sessions[0];
  dirty(s);
  std::uint32_t before = s.generation;
  ASSERT_EQ(session_alloc("stabilize"), 0);
  EXPECT_EQ(s.in_use, 1);
  EXPECT_EQ(s.state, SESSION_RUNNING);
  EXPECT_STREQ(s.kind, "stabilize");
  EXPECT_NE(s.generation, before);
  EXPECT_EQ(s.cancel_requested + s.percent + s.frames_done + s.frames_total + s.pass, 0);
  EXPECT_TRUE(all_zero(s.input_path, sizeof s.input_path));
  EXPECT_TRUE(all_zero(s.output_path, sizeof s.output_path));
  EXPECT_TRUE(all_zero(s.settings_out_path, sizeof s.settings_out_path));
  EXPECT_TRUE(all_zero(s.trf_path, sizeof s.trf_path));
  EXPECT_TRUE(all_zero(s.tmp_settings_path, sizeof s.tmp_settings_path));
  EXPECT_TRUE(all_zero(&s.options, sizeof s.options));
  EXPECT_EQ(s.shakiness + s.max_shift_px + s.crop_percent + s.duration_s, 0.0);
  EXPECT_EQ(s.frames + s.size_bytes + s.elapsed_ms, 0);
  EXPECT_TRUE(all_zero(s.error, sizeof s.error));
  EXPECT_TRUE(all_zero(s.result_json, sizeof s.result_json));
  EXPECT_EQ(s.thread.load(), nullptr);
  EXPECT_EQ(s.wrote_trf + s.wrote_settings + s.file_count, 0);
}

TEST_F(SessionTable, EachClaimGetsANewGeneration) {
  int a = session_alloc("analyze");
  std::uint32_t first = g_sessions[a].generation;
  session_free(a);
  int b = session_alloc("analyze");
  ASSERT_EQ(a, b);
  EXPECT_NE(g_sessions[b].generation, first);
}

TEST_F(SessionTable, BadIdsGetTheFixedAnswersAndChangeNothing) {
  int live = session_alloc("analyze");
  int freed = session_alloc("analyze");
  session_free(freed);
  for (int id : {-1, 16, INT_MIN, INT_MAX, freed}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(videostabilizer_status(id), -1);
    EXPECT_STREQ(videostabilizer_progress(id), kBadProgress);
    EXPECT_STREQ(videostabilizer_result(id), kBadResult);
    videostabilizer_cancel(id);
    videostabilizer_free(id);
  }
  EXPECT_EQ(g_sessions[freed].cancel_requested, 0);
  EXPECT_EQ(g_sessions[freed].in_use, 0);
  EXPECT_EQ(videostabilizer_status(live), SESSION_RUNNING);
}

TEST_F(SessionTable, TheHostSeesTheFinalStateAndItsReport) {
  struct Case {
    const char *name;
    bool cancel;
    int final_state;
    const char *error;
    const char *report;
  } cases[] = {
      {"cancelled", true, SESSION_DONE, "", "{\"ok\":false,\"error\":\"\"}"},
      {"failed", false, SESSION_FAILED, "decode: bad \"frame\"", "{\"ok\":false,\"error\":\"decode: bad \\\"frame\\\"\"}"},
      {"done", false, SESSION_DONE, "",
       "{\"ok\":\"true\",\"output\":\"/out/a.mp4\",\"duration_s\":0.000,\"size_mb\":0.00,\"crop_percent\":0.0,"
       "\"frames\":2,\"elapsed_ms\":5}"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    FakeJob *job = new_job();
    job->final_state = c.final_state;
    job->error = c.error;
    int id = start_fake_job("stabilize", "in.mp4", "/out/a.mp4", "", job);
    ASSERT_GE(id, 0);
    EXPECT_EQ(videostabilizer_status(id), SESSION_RUNNING);
    EXPECT_EQ(videostabilizer_result(id), videostabilizer_progress(id));
    if (c.cancel) videostabilizer_cancel(id);
    finish_fake_job(id, job);
    int expected_state = c.cancel ? SESSION_CANCELLED : c.final_state;
    EXPECT_EQ(videostabilizer_status(id), expected_state);
    EXPECT_STREQ(videostabilizer_result(id), c.report);
    // A cancel after the end changes nothing the host can see.
    videostabilizer_cancel(id);
    EXPECT_EQ(videostabilizer_status(id), expected_state);
    EXPECT_STREQ(videostabilizer_result(id), c.report);
    videostabilizer_free(id);
    EXPECT_EQ(videostabilizer_status(id), -1);
    EXPECT_EQ(job->runs, 1);
  }
}

TEST_F(SessionTable, FreeWaitsForARunningJobAndASucceededJobKeepsItsFiles) {
  FakeJob *job = new_job();
  job->write_files = true;
  int id = start_fake_job("analyze", file("in.mp4"), "", "", job);
  ASSERT_GE(id, 0);
  std::string trf = g_sessions[id].trf_path, settings = g_sessions[id].tmp_settings_path;
  std::atomic<bool> returned{false};
  std::thread host([&] {
    videostabilizer_free(id);
    returned = true;
  });
  // Free must not ask the job to stop, nor return while it runs.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned);
  EXPECT_FALSE(job->finished);
  EXPECT_EQ(g_sessions[id].cancel_requested, 0);
  job->release = true;
  host.join();
  EXPECT_TRUE(job->finished);
  EXPECT_EQ(videostabilizer_status(id), -1);
  EXPECT_TRUE(file_exists(trf));
  EXPECT_TRUE(file_exists(settings));
  char found[1024];
  ASSERT_TRUE(registry_lookup(file("in.mp4").c_str(), found));
  EXPECT_EQ(trf, found);
}

TEST_F(SessionTable, TwoThreadsFreeingOneIdJoinTheWorkerOnce) {
  for (int round = 0; round < 50; ++round) {
    FakeJob *job = new_job();
    int id = start_fake_job("analyze", "in.mp4", "", "", job);
    ASSERT_GE(id, 0);
    std::atomic<int> ready{0}, returned{0};
    auto free_it = [&] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      videostabilizer_free(id);
      returned.fetch_add(1);
    };
    std::thread a(free_it), b(free_it);
    // The free that lost the race leaves at once; the job still runs in its
    // slot, which is not released under it.
    while (returned.load() < 1) {
    }
    EXPECT_EQ(returned.load(), 1);
    EXPECT_EQ(videostabilizer_status(id), SESSION_RUNNING);
    job->release = true;
    a.join();
    b.join();
    EXPECT_EQ(job->runs, 1);
    EXPECT_EQ(videostabilizer_status(id), -1);
  }
  // The slots are all usable again.
  for (int i = 0; i < kMaxSessions; ++i) EXPECT_EQ(session_alloc("analyze"), i);
}
