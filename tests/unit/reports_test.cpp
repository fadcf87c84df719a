// The progress and result reports of a session, byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "api/reports.h"
#include "api/session.h"
#include "videostabilizer.h"

namespace {

class Reports : public ::testing::Test {
 protected:
  Reports() { s.clear(); }

  void finished_analysis(double shakiness) {
    std::strcpy(s.kind, "analyze");
    s.state = SESSION_DONE;
    s.shakiness = shakiness;
    s.frames = 300;
    s.max_shift_px = 12.5;
    s.elapsed_ms = 1834;
    std::strcpy(s.trf_path, "/tmp/vsb_1.trf");
    std::strcpy(s.tmp_settings_path, "/tmp/vsb_1_settings.json");
  }

  void finished_stabilization() {
    std::strcpy(s.kind, "stabilize");
    s.state = SESSION_DONE;
    std::strcpy(s.output_path, "/videos/out.mp4");
    s.duration_s = 12.345678;
    s.size_bytes = 5242880;
    s.crop_percent = 7.25;
    s.frames = 370;
    s.elapsed_ms = 9876;
  }

  std::string failure_report(const std::string &error, int state = SESSION_FAILED) {
    std::strcpy(s.kind, "analyze");
    s.state = state;
    std::snprintf(s.error, sizeof s.error, "%s", error.c_str());
    return session_result_json(&s);
  }

  Session s;
};

}  // namespace

TEST_F(Reports, Progress) {
  struct Case {
    const char *kind;
    int state;
    int pass;
    const char *expected;
  } cases[] = {
      {"stabilize", SESSION_RUNNING, 1,
       "{\"state\":2,\"percent\":42,\"pass\":\"transform\",\"frames_done\":420,\"frames_total\":1000}"},
      {"stabilize", SESSION_RUNNING, 0,
       "{\"state\":2,\"percent\":42,\"pass\":\"detect\",\"frames_done\":420,\"frames_total\":1000}"},
      {"analyze", SESSION_RUNNING, 1,
       "{\"state\":2,\"percent\":42,\"pass\":\"detect\",\"frames_done\":420,\"frames_total\":1000}"},
      {"stabilize", 0, 1, "{\"state\":2,\"percent\":42,\"pass\":\"transform\",\"frames_done\":420,\"frames_total\":1000}"},
      {"analyze", SESSION_FAILED, 0,
       "{\"state\":5,\"percent\":42,\"pass\":\"detect\",\"frames_done\":420,\"frames_total\":1000}"},
  };
  for (const Case &c : cases) {
    std::strcpy(s.kind, c.kind);
    s.state = c.state;
    s.pass = c.pass;
    s.percent = 42;
    s.frames_done = 420;
    s.frames_total = 1000;
    EXPECT_STREQ(progress_json(&s), c.expected);
  }
}

TEST_F(Reports, ProgressTextIsOneBufferPerThread) {
  int id = session_alloc("stabilize");
  ASSERT_GE(id, 0);
  g_sessions[id].percent = 7;
  const char *mine = videostabilizer_progress(id);
  EXPECT_EQ(videostabilizer_result(id), mine);  // a running job's result is its progress
  std::string before = mine;
  const char *theirs = nullptr;
  std::thread other([&] {
    s.percent = 99;
    theirs = progress_json(&s);
  });
  other.join();
  EXPECT_NE(theirs, mine);
  EXPECT_EQ(std::string(mine), before);
  EXPECT_EQ(videostabilizer_progress(id), mine);
  session_free(id);
}

TEST_F(Reports, FinishedAnalysis) {
  finished_analysis(0.2734);
  EXPECT_STREQ(session_result_json(&s),
               "{\"ok\":\"true\",\"shakiness\":0.273,\"suggested_mode\":\"smooth\",\"suggested_strength\":3,"
               "\"frames\":300,\"max_shift_px\":12.50,\"elapsed_ms\":1834,\"transforms_path\":\"/tmp/vsb_1.trf\","
               "\"settings_path\":\"/tmp/vsb_1_settings.json\"}");
  EXPECT_EQ(session_result_json(&s), s.result_json);
  std::string first = s.result_json;
  EXPECT_EQ(std::string(session_result_json(&s)), first);
  std::strcpy(s.settings_out_path, "/home/u/mine.json");
  EXPECT_NE(std::string(session_result_json(&s)).find(",\"settings_path\":\"/home/u/mine.json\"}"),
            std::string::npos);
}

TEST_F(Reports, SuggestedModeAndStrengthFollowTheShakiness) {
  struct Case {
    double shakiness;
    const char *expected;
  } cases[] = {
      {0.05, "\"suggested_mode\":\"smooth\",\"suggested_strength\":2"},
      {0.4, "\"suggested_mode\":\"smooth\",\"suggested_strength\":4"},
      {0.44, "\"suggested_mode\":\"optical\",\"suggested_strength\":4"},
      {0.45, "\"suggested_mode\":\"optical\",\"suggested_strength\":5"},
      {1.0, "\"suggested_mode\":\"optical\",\"suggested_strength\":10"},
      {3.0, "\"suggested_mode\":\"optical\",\"suggested_strength\":10"},
      {-1.0, "\"suggested_mode\":\"smooth\",\"suggested_strength\":2"},
      {std::nan(""), "\"suggested_mode\":\"smooth\",\"suggested_strength\":2"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.shakiness);
    finished_analysis(c.shakiness);
    EXPECT_NE(std::string(session_result_json(&s)).find(c.expected), std::string::npos) << s.result_json;
  }
}

TEST_F(Reports, FinishedStabilization) {
  finished_stabilization();
  EXPECT_STREQ(session_result_json(&s),
               "{\"ok\":\"true\",\"output\":\"/videos/out.mp4\",\"duration_s\":12.346,\"size_mb\":5.00,"
               "\"crop_percent\":7.3,\"frames\":370,\"elapsed_ms\":9876}");
}

TEST_F(Reports, PathsAreEscaped) {
  finished_analysis(0.5);
  std::strcpy(s.trf_path, "C:\\t\\\"x\".trf\x01");
  std::strcpy(s.settings_out_path, "a\tb");
  std::string report = session_result_json(&s);
  EXPECT_NE(report.find(",\"transforms_path\":\"C:\\\\t\\\\\\\"x\\\".trf\\u0001\",\"settings_path\":\"a\\u0009b\"}"),
            std::string::npos)
      << report;
  finished_stabilization();
  std::strcpy(s.output_path, "D:\\out \"1\".mp4");
  report = session_result_json(&s);
  EXPECT_NE(report.find(",\"output\":\"D:\\\\out \\\"1\\\".mp4\","), std::string::npos) << report;
}

TEST_F(Reports, AReportTooLongForItsBufferIsCutAndTerminated) {
  WorkerThread *canary = reinterpret_cast<WorkerThread *>(0x1234);
  for (bool analysis : {true, false}) {
    analysis ? finished_analysis(0.5) : finished_stabilization();
    // Every byte of these paths takes six bytes escaped.
    std::memset(s.trf_path, '\x02', kPathSize - 1);
    std::memset(s.tmp_settings_path, '\x03', kPathSize - 1);
    std::memset(s.output_path, '\x04', kPathSize - 1);
    s.thread = canary;
    std::string report = session_result_json(&s);
    EXPECT_EQ(report.rfind("{\"ok\":\"true\",", 0), 0u);
    EXPECT_LE(report.size(), static_cast<std::size_t>(kResultSize - 1));
    EXPECT_GT(report.size(), static_cast<std::size_t>(kResultSize - 8));
    EXPECT_EQ(s.thread.load(), canary);
    s.thread = nullptr;
  }
}

TEST_F(Reports, Failure) {
  std::string plain(511, 'x');
  std::string quote_at_limit = std::string(505, 'y') + "\"zzz";
  struct Case {
    const char *name;
    std::string error;
    std::string expected_error;
  } cases[] = {
      {"quote and backslash", "a\"b\\cd", "a\\\"b\\\\cd"},
      {"control bytes stay as they are", "line\nfeed\x01", "line\nfeed\x01"},
      {"empty", "", ""},
      {"511 characters", plain, plain.substr(0, 506)},
      {"an escape that ends past 506", quote_at_limit, std::string(505, 'y') + "\\\""},
      {"percent signs", "100% %s %d", "100% %s %d"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(failure_report(c.error), "{\"ok\":false,\"error\":\"" + c.expected_error + "\"}");
  }
  EXPECT_EQ(failure_report("", SESSION_CANCELLED), "{\"ok\":false,\"error\":\"\"}");
}
