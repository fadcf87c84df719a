// Which files freeing a session deletes: only what the job itself created,
// and only when it did not succeed; and the temporary names, which pass over
// files that stand in the shared temporary directory.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "api/registry.h"
#include "api/session.h"
#include "support/fake_job.h"
#include "support/session_fixture.h"
#include "videostabilizer.h"

namespace {

using SessionFiles = SessionFixture;

constexpr const char *kEarlierTrf = "/old/earlier.trf";

int tmp_number(const Session &s) {
  const char *name = std::strrchr(s.trf_path, '/') + 1;
  int n = 0;
  return std::sscanf(name, "vsb_%d.trf", &n) == 1 ? n : -1;
}

// The number the next start will get, when nothing stands in the way.
int next_tmp_number() {
  int id = session_alloc("analyze");
  gen_tmp_paths(&g_sessions[id]);
  int n = tmp_number(g_sessions[id]);
  session_free(id);
  return n + 1;
}

bool is_symlink(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

TEST_F(SessionFiles, FreeingAnAnalysis) {
  struct Case {
    const char *name;
    int final_state;
    bool caller_settings;
    bool registry_names_trf;
    bool trf_stays;
    bool settings_stays;
    bool earlier_entry_stays;
  } cases[] = {
      {"failed", SESSION_FAILED, false, false, false, false, false},
      {"cancelled at its end", SESSION_CANCELLED, false, false, false, false, false},
      {"failed, caller's settings path", SESSION_FAILED, true, false, false, true, false},
      {"failed, its transforms named by the registry", SESSION_FAILED, false, true, true, false, false},
      {"done", SESSION_DONE, false, false, true, true, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(g_registry, 0, sizeof g_registry);
    std::string input = file("in.mp4");
    registry_insert(input.c_str(), kEarlierTrf);
    FakeJob *job = new_job();
    job->write_files = true;
    job->final_state = c.final_state;
    std::string caller_settings = c.caller_settings ? file("mine.json") : "";
    int id = start_fake_job("analyze", input, "", caller_settings, job);
    ASSERT_GE(id, 0);
    std::string trf = g_sessions[id].trf_path;
    std::string settings = c.caller_settings ? caller_settings : g_sessions[id].tmp_settings_path;
    if (c.registry_names_trf) registry_insert("another input", trf.c_str());
    finish_fake_job(id, job);
    ASSERT_TRUE(file_exists(trf));
    ASSERT_TRUE(file_exists(settings));
    videostabilizer_free(id);
    EXPECT_EQ(file_exists(trf), c.trf_stays);
    EXPECT_EQ(file_exists(settings), c.settings_stays);
    char found[1024];
    bool entry = registry_lookup(input.c_str(), found);
    EXPECT_EQ(entry, c.earlier_entry_stays);
    if (entry) {
      EXPECT_EQ(trf, found);  // refreshed in place by the success
    }
    EXPECT_EQ(registry_refers(trf.c_str()), c.registry_names_trf || c.final_state == SESSION_DONE);
  }
}

// A stabilization writes its output beside the output path and puts it in
// the path's place only when it succeeds, so freeing one deletes nothing:
// a file that stood at the output path before stays as it was unless the
// job succeeded.
TEST_F(SessionFiles, FreeingAStabilization) {
  struct Case {
    const char *name;
    int final_state;
    bool cancel;
    const char *output_after;
  } cases[] = {
      {"failed", SESSION_FAILED, false, "a file that stood there before"},
      {"cancelled", SESSION_DONE, true, "a file that stood there before"},
      {"done", SESSION_DONE, false, "stabilized output"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(g_registry, 0, sizeof g_registry);
    std::string input = file("in.mp4"), output = file("out.mp4"), trf = file("given.trf");
    write_file(output, "a file that stood there before");
    write_file(trf, "VID.STAB 1\n");
    registry_insert(input.c_str(), trf.c_str());
    FakeJob *job = new_job();
    job->write_files = true;
    job->final_state = c.final_state;
    int id = start_fake_job("stabilize", input, output, "", job);
    ASSERT_GE(id, 0);
    // The transforms path the stabilization read, as its worker records it.
    std::snprintf(g_sessions[id].trf_path, kPathSize, "%s", trf.c_str());
    if (c.cancel) videostabilizer_cancel(id);
    finish_fake_job(id, job);
    videostabilizer_free(id);
    EXPECT_EQ(read_file(output), c.output_after);
    EXPECT_TRUE(file_exists(trf));
    char found[1024];
    EXPECT_EQ(registry_lookup(input.c_str(), found), c.final_state == SESSION_DONE && !c.cancel);
  }
}

TEST_F(SessionFiles, NumbersWhoseFilesStandThereArePassedOverAndLeftAlone) {
  int n = next_tmp_number();
  std::string old_trf = file("vsb_" + std::to_string(n) + ".trf");
  std::string old_settings = file("vsb_" + std::to_string(n + 1) + "_settings.json");
  std::string dangling = file("vsb_" + std::to_string(n + 2) + ".trf");
  write_file(old_trf, "earlier process");
  write_file(old_settings, "earlier process");
  ASSERT_EQ(symlink(file("nowhere").c_str(), dangling.c_str()), 0);

  FakeJob *job = new_job();
  job->write_files = true;
  job->final_state = SESSION_FAILED;
  int id = start_fake_job("analyze", file("in.mp4"), "", "", job);
  ASSERT_GE(id, 0);
  EXPECT_EQ(tmp_number(g_sessions[id]), n + 3);
  std::string trf = g_sessions[id].trf_path, settings = g_sessions[id].tmp_settings_path;
  finish_fake_job(id, job);
  EXPECT_TRUE(file_exists(trf));
  videostabilizer_free(id);
  EXPECT_FALSE(file_exists(trf));
  EXPECT_FALSE(file_exists(settings));
  EXPECT_EQ(read_file(old_trf), "earlier process");
  EXPECT_EQ(read_file(old_settings), "earlier process");
  EXPECT_TRUE(is_symlink(dangling));
  EXPECT_FALSE(file_exists(file("nowhere")));
}

TEST_F(SessionFiles, ALinkPlantedAtATemporaryNameIsNotFollowed) {
  struct Case {
    const char *name;
    bool at_settings;  // the link stands at the settings name, else at the transforms name
    const char *message;
  } cases[] = {
      {"transforms", false, "cannot write transforms "},
      {"settings", true, "cannot write settings "},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string target = file("target");
    write_file(target, "keep");
    FakeJob *job = new_job();
    job->write_files = true;
    int id = start_fake_job("analyze", file("in.mp4"), "", "", job);
    ASSERT_GE(id, 0);
    std::string trf = g_sessions[id].trf_path, settings = g_sessions[id].tmp_settings_path;
    std::string link = c.at_settings ? settings : trf;
    // Planted after the names were chosen, before the job writes.
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    finish_fake_job(id, job);
    EXPECT_EQ(videostabilizer_status(id), SESSION_FAILED);
    EXPECT_EQ(std::string(g_sessions[id].error), c.message + link);
    videostabilizer_free(id);
    EXPECT_EQ(read_file(target), "keep");
    EXPECT_TRUE(is_symlink(link));
    EXPECT_FALSE(file_exists(c.at_settings ? trf : settings));
    unlink(link.c_str());
  }
}
