// How both analysis writers create their files: replacing, or exclusively
// (a new file of the user only, never through a link, never over a file).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "formats/settings_file.h"
#include "formats/transforms_file.h"
#include "support/test_support.h"

namespace {

using Writer = std::function<bool(const std::string &path, CreateMode mode)>;

bool write_trf(const std::string &path, CreateMode mode) {
  PathPoint points[2] = {{0, 0, 0}, {1, 2, 0.5}};
  return write_transforms_file(path.c_str(), points, 2, 64, 48, 25.0, mode);
}

bool write_settings(const std::string &path, CreateMode mode) {
  SettingsInfo info{"/v/a.mp4", 64, 48, 25.0, 2, 0.5, 1.0, "/t/a.trf"};
  return write_settings_file(path.c_str(), info, mode);
}

struct NamedWriter {
  const char *name;
  Writer write;
};

const NamedWriter kWriters[] = {{"transforms", write_trf}, {"settings", write_settings}};

bool is_symlink(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

TEST(FileCreation, APathThatCannotBeCreatedFails) {
  TempDir dir;
  write_file(dir.file("plain"), "x");
  for (const NamedWriter &w : kWriters) {
    for (CreateMode mode : {CreateMode::Replace, CreateMode::Exclusive}) {
      SCOPED_TRACE(w.name);
      EXPECT_FALSE(w.write(dir.file("missing/dir/out"), mode));
      EXPECT_FALSE(w.write(dir.file("plain/out"), mode));  // through a regular file
      EXPECT_FALSE(w.write("", mode));
    }
  }
}

TEST(FileCreation, ReplaceTruncatesAnExistingFile) {
  TempDir dir;
  for (const NamedWriter &w : kWriters) {
    SCOPED_TRACE(w.name);
    std::string path = dir.file(w.name);
    write_file(path, std::string(10000, 'o'));
    ASSERT_TRUE(w.write(path, CreateMode::Replace));
    std::string text = read_file(path);
    EXPECT_EQ(text.find('o' + std::string(5, 'o')), std::string::npos);
    EXPECT_LT(text.size(), 1000u);
  }
}

TEST(FileCreation, ExclusiveMakesANewFileOfTheUserOnly) {
  TempDir dir;
  for (const NamedWriter &w : kWriters) {
    SCOPED_TRACE(w.name);
    std::string path = dir.file(w.name);
    ASSERT_TRUE(w.write(path, CreateMode::Exclusive));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_FALSE(read_file(path).empty());
  }
}

TEST(FileCreation, ExclusiveNeverWritesOverAFileOrThroughALink) {
  TempDir dir;
  for (const NamedWriter &w : kWriters) {
    SCOPED_TRACE(w.name);
    std::string existing = dir.file(std::string(w.name) + ".existing");
    std::string target = dir.file(std::string(w.name) + ".target");
    std::string link = dir.file(std::string(w.name) + ".link");
    std::string dangling = dir.file(std::string(w.name) + ".dangling");
    std::string nowhere = dir.file(std::string(w.name) + ".nowhere");
    write_file(existing, "old");
    write_file(target, "keep");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_EQ(symlink(nowhere.c_str(), dangling.c_str()), 0);

    EXPECT_FALSE(w.write(existing, CreateMode::Exclusive));
    EXPECT_FALSE(w.write(link, CreateMode::Exclusive));
    EXPECT_FALSE(w.write(dangling, CreateMode::Exclusive));
    EXPECT_EQ(read_file(existing), "old");
    EXPECT_EQ(read_file(target), "keep");
    EXPECT_TRUE(is_symlink(link));
    EXPECT_TRUE(is_symlink(dangling));
    EXPECT_FALSE(file_exists(nowhere));
  }
}
