// The analysis registry: order of its entries, holes, refreshes, the loss of
// the eighth entry, byte comparison of paths, and its lock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "api/registry.h"

namespace {

// The expected image of the whole table, compared byte for byte with it.
class Table {
 public:
  Table() { std::memset(entries_, 0, sizeof entries_); }
  Table &at(int pos, const std::string &input, const std::string &transforms, int used = 1) {
    std::memcpy(entries_[pos].input, input.c_str(), input.size());
    std::memcpy(entries_[pos].transforms, transforms.c_str(), transforms.size());
    entries_[pos].used = used;
    return *this;
  }
  bool matches_registry() const { return std::memcmp(entries_, g_registry, sizeof entries_) == 0; }

 private:
  RegistryEntry entries_[kRegistrySize];
};

std::string lookup(const std::string &input) {
  char out[1024];
  std::memset(out, 'x', sizeof out);
  bool found = registry_lookup(input.c_str(), out);
  EXPECT_EQ(found, out[0] != '\0');
  return found ? out : "(none)";
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { std::memset(g_registry, 0, sizeof g_registry); }
};

}  // namespace

TEST_F(Registry, NewInputsGoFirstAndARefreshStaysInPlace) {
  registry_insert("/v/a.mp4", "/tmp/vsb_1.trf");
  registry_insert("/v/b.mp4", "/tmp/vsb_2.trf");
  registry_insert("/v/c.mp4", "/tmp/vsb_3.trf");
  EXPECT_TRUE(Table()
                  .at(0, "/v/c.mp4", "/tmp/vsb_3.trf")
                  .at(1, "/v/b.mp4", "/tmp/vsb_2.trf")
                  .at(2, "/v/a.mp4", "/tmp/vsb_1.trf")
                  .matches_registry());
  // A shorter transforms path leaves nothing of the longer one behind.
  registry_insert("/v/a.mp4", "/t/4.trf");
  EXPECT_TRUE(Table()
                  .at(0, "/v/c.mp4", "/tmp/vsb_3.trf")
                  .at(1, "/v/b.mp4", "/tmp/vsb_2.trf")
                  .at(2, "/v/a.mp4", "/t/4.trf")
                  .matches_registry());
  EXPECT_EQ(lookup("/v/a.mp4"), "/t/4.trf");
}

TEST_F(Registry, ARemovalLeavesAHoleThatTheNextInsertShiftsPast) {
  registry_insert("/v/a.mp4", "/tmp/vsb_1.trf");
  registry_insert("/v/b.mp4", "/tmp/vsb_2.trf");
  registry_insert("/v/c.mp4", "/tmp/vsb_3.trf");
  registry_remove("/v/b.mp4");
  EXPECT_EQ(lookup("/v/b.mp4"), "(none)");
  EXPECT_FALSE(registry_refers("/tmp/vsb_2.trf"));
  registry_insert("/v/d.mp4", "/tmp/vsb_4.trf");
  EXPECT_TRUE(Table()
                  .at(0, "/v/d.mp4", "/tmp/vsb_4.trf")
                  .at(1, "/v/c.mp4", "/tmp/vsb_3.trf")
                  .at(2, "/v/b.mp4", "/tmp/vsb_2.trf", 0)
                  .at(3, "/v/a.mp4", "/tmp/vsb_1.trf")
                  .matches_registry());
  // The input of a hole is new again: it goes to the front.
  registry_insert("/v/b.mp4", "/tmp/vsb_5.trf");
  EXPECT_EQ(std::string(g_registry[0].input), "/v/b.mp4");
  EXPECT_EQ(g_registry[3].used, 0);
}

TEST_F(Registry, TheEntryAtPositionSevenIsLostEvenWithHolesBeforeIt) {
  for (int i = 1; i <= 9; ++i) {
    registry_insert((std::string("/v/") + std::to_string(i)).c_str(),
                    (std::string("/tmp/vsb_") + std::to_string(i) + ".trf").c_str());
  }
  EXPECT_EQ(lookup("/v/1"), "(none)");
  EXPECT_FALSE(registry_refers("/tmp/vsb_1.trf"));
  EXPECT_EQ(lookup("/v/2"), "/tmp/vsb_2.trf");
  EXPECT_EQ(std::string(g_registry[7].input), "/v/2");

  registry_remove("/v/5");  // a hole at position 4
  registry_insert("/v/10", "/tmp/vsb_10.trf");
  EXPECT_EQ(lookup("/v/2"), "(none)");
  EXPECT_EQ(std::string(g_registry[7].input), "/v/3");
  EXPECT_EQ(std::string(g_registry[5].input), "/v/5");
  EXPECT_EQ(g_registry[5].used, 0);
}

TEST_F(Registry, PathsAreComparedByteForByte) {
  registry_insert("/v/a.mp4", "/tmp/vsb_1.trf");
  for (const char *other : {"/v/A.mp4", "v/a.mp4", "/v//a.mp4", "/v/a.mp4 ", "/v/a.mp"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(lookup(other), "(none)");
    registry_remove(other);
  }
  EXPECT_EQ(lookup("/v/a.mp4"), "/tmp/vsb_1.trf");
  EXPECT_TRUE(registry_refers("/tmp/vsb_1.trf"));
  EXPECT_FALSE(registry_refers("/TMP/vsb_1.trf"));
}

TEST_F(Registry, ReferenceCheckLooksAtEveryUsedEntry) {
  for (int i = 1; i <= 8; ++i) {
    registry_insert((std::string("/v/") + std::to_string(i)).c_str(),
                    (std::string("/tmp/vsb_") + std::to_string(i) + ".trf").c_str());
  }
  EXPECT_TRUE(registry_refers("/tmp/vsb_1.trf"));  // position 7
  EXPECT_TRUE(registry_refers("/tmp/vsb_8.trf"));  // position 0
  registry_remove("/v/1");
  EXPECT_FALSE(registry_refers("/tmp/vsb_1.trf"));
}

TEST_F(Registry, LongPathsAreStoredCutAt1023) {
  std::string input(2000, 'i'), transforms(1500, 't');
  registry_insert(input.c_str(), transforms.c_str());
  EXPECT_EQ(std::string(g_registry[0].input), input.substr(0, 1023));
  EXPECT_EQ(lookup(input), transforms.substr(0, 1023));
  EXPECT_EQ(lookup(input.substr(0, 1023)), transforms.substr(0, 1023));
}

TEST_F(Registry, LookupsNeverSeeAHalfWrittenPath) {
  // Writers refresh one input with paths of one repeated letter each; a
  // lookup copies under the lock, so its copy is always one letter through.
  registry_insert("/v/a.mp4", std::string(1023, 'a').c_str());
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (char letter : {'b', 'c'}) {
    writers.emplace_back([&stop, letter] {
      std::string path(letter == 'b' ? 1023 : 500, letter);
      while (!stop) registry_insert("/v/a.mp4", path.c_str());
    });
  }
  for (int i = 0; i < 20000; ++i) {
    std::string seen = lookup("/v/a.mp4");
    bool whole = seen.size() >= 500 && seen.find_first_not_of(seen[0]) == std::string::npos;
    EXPECT_TRUE(whole) << seen.size();
    if (!whole) break;
  }
  stop = true;
  for (std::thread &writer : writers) writer.join();
}
