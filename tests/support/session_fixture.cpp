#include "support/session_fixture.h"

#include <cstdlib>
#include <cstring>

#include "api/registry.h"
#include "api/session.h"

void SessionFixture::SetUp() {
  const char *tmpdir = std::getenv("TMPDIR");
  had_tmpdir_ = tmpdir != nullptr;
  if (had_tmpdir_) saved_tmpdir_ = tmpdir;
  dir_ = std::make_unique<TempDir>();
  setenv("TMPDIR", dir_->path().c_str(), 1);
  std::memset(g_registry, 0, sizeof g_registry);
}

void SessionFixture::TearDown() {
  for (auto &job : jobs_) job->release.store(true);
  for (int id = 0; id < kMaxSessions; ++id) session_free(id);
  if (had_tmpdir_) {
    setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  dir_.reset();
}

FakeJob *SessionFixture::new_job() {
  jobs_.push_back(std::make_unique<FakeJob>());
  return jobs_.back().get();
}
