// Numbering of the temporary names. Kept in its own program: the first
// session of a process must get number 1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "api/session.h"
#include "support/session_fixture.h"

namespace {

using TmpNames = SessionFixture;

int claim_named(const char *kind) {
  int id = session_alloc(kind);
  gen_tmp_paths(&g_sessions[id]);
  return id;
}

int tmp_number(int id) {
  const char *name = std::strrchr(g_sessions[id].trf_path, '/') + 1;
  int n = 0;
  return std::sscanf(name, "vsb_%d.trf", &n) == 1 ? n : -1;
}

}  // namespace

TEST_F(TmpNames, FirstSessionGetsOneAndTheNextTwoWhateverItsKind) {
  int first = claim_named("analyze");
  EXPECT_EQ(std::string(g_sessions[first].trf_path), dir() + "/vsb_1.trf");
  EXPECT_EQ(std::string(g_sessions[first].tmp_settings_path), dir() + "/vsb_1_settings.json");
  session_free(first);
  int second = claim_named("stabilize");
  EXPECT_EQ(second, first);
  EXPECT_EQ(std::string(g_sessions[second].trf_path), dir() + "/vsb_2.trf");
  EXPECT_EQ(std::string(g_sessions[second].tmp_settings_path), dir() + "/vsb_2_settings.json");
}

TEST_F(TmpNames, ADirectoryFullOfOldFilesDoesNotStallAStart) {
  int probe = claim_named("analyze");
  int n = tmp_number(probe);
  session_free(probe);
  for (int k = n + 1; k <= n + 1500; ++k) write_file(file("vsb_" + std::to_string(k) + ".trf"), "");
  int id = claim_named("analyze");
  int used = tmp_number(id);
  EXPECT_GT(used, n);
  EXPECT_LE(used, n + 1500);
  session_free(id);
  int next = claim_named("analyze");
  EXPECT_GT(tmp_number(next), used);
}
