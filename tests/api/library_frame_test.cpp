// The version text, the process-wide error text and the JSON member writers.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "api/error.h"
#include "base/json_writer.h"
#include "videostabilizer.h"

TEST(Version, IsTheFixedBuildConstantEveryTime) {
  const char *first = videostabilizer_version();
  EXPECT_STREQ(first, "1.0.0 (libavformat 63.4.100, swscale 10)");
  EXPECT_EQ(videostabilizer_version(), first);
}

TEST(LastError, StartsEmptyAndNeverNull) {
  ASSERT_NE(videostabilizer_last_error(), nullptr);
  EXPECT_STREQ(videostabilizer_last_error(), "");
}

TEST(LastError, SetErrFormatsAndCutsAt511) {
  set_err("open input: %s", "No such file or directory");
  EXPECT_STREQ(videostabilizer_last_error(), "open input: No such file or directory");
  std::string long_text(600, 'x');
  set_err("%s", long_text.c_str());
  EXPECT_EQ(std::strlen(videostabilizer_last_error()), 511u);
  EXPECT_EQ(std::string(videostabilizer_last_error()), long_text.substr(0, 511));
  clear_err();
  EXPECT_STREQ(videostabilizer_last_error(), "");
}

TEST(LastError, ConcurrentWritersNeverLeaveAnUnterminatedOrMixedText) {
  // Two threads write texts of different lengths and fill bytes; a reader
  // copying the text always finds one of them whole.
  std::string a(500, 'a'), b(37, 'b');
  std::atomic<bool> stop{false};
  auto writer = [&](const std::string &text) {
    while (!stop) set_err("%s", text.c_str());
  };
  std::thread wa(writer, a), wb(writer, b);
  for (int i = 0; i < 20000; ++i) {
    char copy[kErrSize];
    copy_err(copy, sizeof copy);
    std::string seen(copy);
    ASSERT_TRUE(seen.empty() || seen == a || seen == b) << seen.size();
    ASSERT_EQ(g_err[kErrSize - 1], '\0');
  }
  stop = true;
  wa.join();
  wb.join();
}

namespace {

std::string kv_s(const char *key, const char *value, int comma) {
  char buf[256];
  char *cursor = buf;
  put_kv_s(&cursor, buf + sizeof buf - 1, key, value, comma);
  *cursor = '\0';
  return buf;
}

std::string kv_d(double value, int decimals) {
  char buf[256];
  char *cursor = buf;
  put_kv_d(&cursor, buf + sizeof buf - 1, "v", value, decimals);
  *cursor = '\0';
  return buf;
}

}  // namespace

TEST(PutKvS, EscapesQuotesBackslashesAndControlBytes) {
  const char value[] = {'a', '"', 'b', '\\', '\n', '\0'};
  EXPECT_EQ(kv_s("path", value, 0), "\"path\":\"a\\\"b\\\\\\u000a\"");
  EXPECT_EQ(kv_s("path", value, 1), ",\"path\":\"a\\\"b\\\\\\u000a\"");
  EXPECT_EQ(kv_s("k", "", 0), "\"k\":\"\"");
  // 0x7F and UTF-8 pass through unchanged.
  EXPECT_EQ(kv_s("k", "\x7f\xc3\xa9\xe2\x80\x94", 0), "\"k\":\"\x7f\xc3\xa9\xe2\x80\x94\"");
}

TEST(PutKvS, NeverWritesAtOrPastEnd) {
  for (std::size_t room = 0; room < 40; ++room) {
    std::vector<char> buf(room + 8, '#');
    char *cursor = buf.data();
    char *end = buf.data() + room;
    put_kv_s(&cursor, end, "key", "va\"l\\ue\x01 and more text", 1);
    EXPECT_LE(cursor, end);
    for (std::size_t i = room; i < buf.size(); ++i) ASSERT_EQ(buf[i], '#') << "room " << room;
  }
}

TEST(PutKvD, FixedDecimalsTable) {
  struct Case {
    double value;
    int decimals;
    const char *written;
  } cases[] = {
      {12.3456, 3, "12.346"},
      {0.125, 2, "0.13"},
      {-0.25, 1, "-0.3"},
      {7, 2, "7.00"},
      {0.05, 3, "0.050"},
      {-0.0004, 3, "0.000"},
      {-0.0005, 3, "-0.001"},
      {2e12, 2, "1000000000000.00"},
      {-5e12, 1, "-1000000000000.0"},
      {std::numeric_limits<double>::quiet_NaN(), 3, "0.000"},
      {std::numeric_limits<double>::quiet_NaN(), 1, "0.0"},
      {std::numeric_limits<double>::infinity(), 1, "1000000000000.0"},
      {-std::numeric_limits<double>::infinity(), 3, "-1000000000000.000"},
      {1e12, 3, "1000000000000.000"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(kv_d(c.value, c.decimals), std::string(",\"v\":") + c.written) << c.value;
  }
}

TEST(PutKvD, NeverWritesAtOrPastEnd) {
  for (std::size_t room = 0; room < 30; ++room) {
    std::vector<char> buf(room + 8, '#');
    char *cursor = buf.data();
    put_kv_d(&cursor, buf.data() + room, "duration_s", -123456.789, 3);
    EXPECT_LE(cursor, buf.data() + room);
    for (std::size_t i = room; i < buf.size(); ++i) ASSERT_EQ(buf[i], '#') << "room " << room;
  }
}
