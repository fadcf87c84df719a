// Many short jobs on all sixteen slots from several host threads at once.
// Each session is started, polled, perhaps cancelled, and freed by the
// thread that started it, in random order; every answer a thread gets must
// belong to its own job.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "api/session.h"
#include "support/fake_job.h"
#include "support/session_fixture.h"
#include "videostabilizer.h"

namespace {

using SessionStress = SessionFixture;

constexpr int kHostThreads = 4;
constexpr int kJobsPerThread = 400;
constexpr int kMaxHeldPerThread = 6;  // 4 x 6 > 16: starts also meet a full table

struct HeldJob {
  int id;
  bool analysis;
  std::string name;  // output path of a stabilization, transforms path of an analysis
  std::unique_ptr<FakeJob> job;
};

bool starts_with(const std::string &text, const std::string &prefix) { return text.rfind(prefix, 0) == 0; }

// The report of an ended job names that job, never another one.
void check_final(const HeldJob &held, int state) {
  std::string result = videostabilizer_result(held.id);
  if (state == SESSION_CANCELLED) {
    EXPECT_EQ(result, "{\"ok\":false,\"error\":\"\"}");
    return;
  }
  ASSERT_EQ(state, SESSION_DONE);
  std::string member = held.analysis ? "\"transforms_path\":\"" : "\"output\":\"";
  EXPECT_NE(result.find(member + held.name + "\""), std::string::npos) << result;
}

void poll(std::mt19937 &rng, HeldJob &held) {
  int state = videostabilizer_status(held.id);
  ASSERT_GE(state, SESSION_RUNNING);
  std::string progress = videostabilizer_progress(held.id);
  ASSERT_TRUE(starts_with(progress, "{\"state\":")) << progress;
  if (rng() % 4 == 0) videostabilizer_cancel(held.id);
  if (state != SESSION_RUNNING) check_final(held, state);
}

bool start(std::mt19937 &rng, int thread_no, int job_no, std::vector<HeldJob> &held) {
  HeldJob h;
  h.analysis = rng() % 2 == 0;
  h.job = std::make_unique<FakeJob>();
  h.job->wait_for_release = false;
  h.job->spins = static_cast<int>(rng() % 300);
  // Built by appending: GCC 12 at -O3 warns (-Wrestrict) about "text" + std::to_string(n).
  std::string tag = std::string("t") + std::to_string(thread_no) + "-j" + std::to_string(job_no);
  h.id = start_fake_job(h.analysis ? "analyze" : "stabilize", std::string("in-") + std::to_string(rng() % 10), "/out/" + tag,
                        "", h.job.get());
  if (h.id == -1) return false;  // the table is full: try again later
  EXPECT_GE(h.id, 0);
  h.name = h.analysis ? g_sessions[h.id].trf_path : "/out/" + tag;
  held.push_back(std::move(h));
  return true;
}

void free_one(std::mt19937 &rng, std::vector<HeldJob> &held) {
  std::size_t k = rng() % held.size();
  videostabilizer_free(held[k].id);
  EXPECT_EQ(held[k].job->runs, 1);
  EXPECT_TRUE(held[k].job->finished);
  held.erase(held.begin() + static_cast<std::ptrdiff_t>(k));
}

void host_thread(int thread_no) {
  std::mt19937 rng(1234u + static_cast<unsigned>(thread_no));
  std::vector<HeldJob> held;
  int started = 0;
  while (started < kJobsPerThread || !held.empty()) {
    // Starts weigh most, so the threads together keep the table near full.
    unsigned action = rng() % 4;
    bool may_start = started < kJobsPerThread && static_cast<int>(held.size()) < kMaxHeldPerThread;
    if (action <= 1 && may_start) {
      if (start(rng, thread_no, started, held)) ++started;
    } else if (action == 2 && !held.empty()) {
      poll(rng, held[rng() % held.size()]);
    } else if (!held.empty()) {
      free_one(rng, held);
    } else {
      std::this_thread::yield();
    }
  }
}

}  // namespace

TEST_F(SessionStress, ManyShortJobsFromSeveralHostThreads) {
  std::vector<std::thread> hosts;
  for (int t = 0; t < kHostThreads; ++t) hosts.emplace_back(host_thread, t);
  for (std::thread &host : hosts) host.join();
  for (int id = 0; id < kMaxSessions; ++id) EXPECT_EQ(videostabilizer_status(id), -1);
}
