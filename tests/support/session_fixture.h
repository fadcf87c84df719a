// A fixture for tests that run sessions: a fresh temporary directory (TMPDIR
// points at it, so temporary names are generated there), an empty analysis
// registry, and every session freed at the end.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/fake_job.h"
#include "support/test_support.h"

class SessionFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A job record that lives until the end of the test.
  FakeJob *new_job();
  std::string file(const std::string &name) const { return dir_->file(name); }
  const std::string &dir() const { return dir_->path(); }
  std::vector<std::string> dir_names() const { return dir_->names(); }

 private:
  std::unique_ptr<TempDir> dir_;
  std::vector<std::unique_ptr<FakeJob>> jobs_;
  std::string saved_tmpdir_;
  bool had_tmpdir_ = false;
};
