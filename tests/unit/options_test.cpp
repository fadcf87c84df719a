// Reading the options JSON of a stabilization.
#include "api/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

StabilizeOptions read_ok(const std::string &json) {
  StabilizeOptions o;
  EXPECT_EQ(read_stabilize_options(json.c_str(), &o), OptionsStatus::Ok) << json;
  return o;
}

void expect_defaults(const StabilizeOptions &o, const std::string &what) {
  EXPECT_STREQ(o.mode, "smooth") << what;
  EXPECT_EQ(o.strength, 5) << what;
  EXPECT_EQ(o.crop_max, 0) << what;
  EXPECT_EQ(o.sharpen, 1) << what;
  EXPECT_EQ(o.keep_audio, 1) << what;
  EXPECT_STREQ(o.transforms, "") << what;
  EXPECT_STREQ(o.settings, "") << what;
}

TEST(StabilizeOptions, DefaultsForNullEmptyAndNonObjectRoots) {
  StabilizeOptions o;
  ASSERT_EQ(read_stabilize_options(nullptr, &o), OptionsStatus::Ok);
  expect_defaults(o, "null");
  expect_defaults(default_stabilize_options(), "default_stabilize_options");
  for (const char *json : {"", "[]", "[{\"strength\":9}]", "7", "\"strength\"", "true", "null",
                           "{}", " {\"unrelated\":{\"strength\":9}} "})
    expect_defaults(read_ok(json), json);
}

TEST(StabilizeOptions, InvalidTextIsRejected) {
  std::string deep_arrays = "{\"a\":" + std::string(1025, '[') + std::string(1025, ']') + "}";
  std::string deep_objects;
  for (int i = 0; i < 1025; ++i) deep_objects += "{\"k\":";
  deep_objects += "1" + std::string(1025, '}');
  const std::string cases[] = {
      "{",
      "{\"strength\":5,}",                    // trailing comma
      "{\"strength\":NaN}",
      "{\"strength\":Infinity}",
      "{/*c*/\"strength\":5}",                 // comment
      "{\"strength\":18446744073709551616}",   // one past the largest 64-bit integer
      "{\"strength\":-9223372036854775809}",
      "{\"strength\":1e400}",
      "{\"mode\":\"\xff\"}",                   // invalid UTF-8 in a string
      "{\"strength\":5} x",
      deep_arrays,
      deep_objects,
  };
  for (const std::string &json : cases) {
    StabilizeOptions o;
    EXPECT_EQ(read_stabilize_options(json.c_str(), &o), OptionsStatus::NotJson) << json.substr(0, 60);
  }
  // Nesting the parser can hold, and the largest 64-bit integer, are fine.
  std::string nested = "{\"a\":" + std::string(500, '[') + std::string(500, ']') + ",\"strength\":3}";
  EXPECT_EQ(read_ok(nested).strength, 3);
  EXPECT_EQ(read_ok("{\"strength\":18446744073709551615}").strength, 10);
}

struct Case {
  const char *json;
  const char *mode;
  int strength, crop_max, sharpen, keep_audio;
};

TEST(StabilizeOptions, ValuesFollowTheKeyRules) {
  const Case cases[] = {
      {"{\"mode\":\"OPTICAL\"}", "optical", 5, 0, 1, 1},
      {"{\"mode\":\"optical\"}", "optical", 5, 0, 1, 1},
      {"{\"mode\":\"fast\"}", "smooth", 5, 0, 1, 1},
      {"{\"mode\":\"\"}", "smooth", 5, 0, 1, 1},
      {"{\"mode\":3}", "smooth", 5, 0, 1, 1},
      {"{\"mode\":null}", "smooth", 5, 0, 1, 1},
      {"{\"mode\":\"optical \"}", "smooth", 5, 0, 1, 1},
      {"{\"strength\":7.5}", "smooth", 8, 0, 1, 1},
      {"{\"strength\":7.49}", "smooth", 7, 0, 1, 1},
      {"{\"strength\":2.5}", "smooth", 3, 0, 1, 1},
      {"{\"strength\":0.4}", "smooth", 0, 0, 1, 1},
      {"{\"strength\":-0.4}", "smooth", 0, 0, 1, 1},
      {"{\"strength\":-3}", "smooth", 0, 0, 1, 1},
      {"{\"strength\":9.5}", "smooth", 10, 0, 1, 1},
      {"{\"strength\":42}", "smooth", 10, 0, 1, 1},
      {"{\"strength\":1e10}", "smooth", 10, 0, 1, 1},
      {"{\"strength\":1e300}", "smooth", 10, 0, 1, 1},
      {"{\"strength\":-1e300}", "smooth", 0, 0, 1, 1},
      {"{\"strength\":-9223372036854775808}", "smooth", 0, 0, 1, 1},
      {"{\"strength\":\"7\"}", "smooth", 0, 0, 1, 1},
      {"{\"strength\":true}", "smooth", 0, 0, 1, 1},
      {"{\"strength\":null}", "smooth", 0, 0, 1, 1},
      {"{\"strength\":[7]}", "smooth", 0, 0, 1, 1},
      {"{\"crop\":\"MAX\"}", "smooth", 5, 1, 1, 1},
      {"{\"crop\":\"max\"}", "smooth", 5, 1, 1, 1},
      {"{\"crop\":true}", "smooth", 5, 0, 1, 1},
      {"{\"crop\":\"maximum\"}", "smooth", 5, 0, 1, 1},
      {"{\"sharpen\":false,\"keep_audio\":false}", "smooth", 5, 0, 0, 0},
      {"{\"sharpen\":true,\"keep_audio\":true}", "smooth", 5, 0, 1, 1},
      {"{\"sharpen\":0.9,\"keep_audio\":0.9}", "smooth", 5, 0, 0, 0},
      {"{\"sharpen\":-0.9,\"keep_audio\":0}", "smooth", 5, 0, 0, 0},
      {"{\"sharpen\":2,\"keep_audio\":2}", "smooth", 5, 0, 1, 1},
      {"{\"sharpen\":-1,\"keep_audio\":-1}", "smooth", 5, 0, 1, 1},
      {"{\"sharpen\":1e300,\"keep_audio\":18446744073709551615}", "smooth", 5, 0, 1, 1},
      {"{\"sharpen\":\"yes\",\"keep_audio\":\"yes\"}", "smooth", 5, 0, 0, 0},
      {"{\"sharpen\":null,\"keep_audio\":null}", "smooth", 5, 0, 0, 0},
      {"{\"sharpen\":{},\"keep_audio\":[1]}", "smooth", 5, 0, 0, 0},
      // Keys are case-sensitive; the first of duplicate keys counts.
      {"{\"Mode\":\"optical\",\"STRENGTH\":9,\"Crop\":\"max\",\"Sharpen\":0}", "smooth", 5, 0, 1, 1},
      {"{\"strength\":2,\"strength\":9}", "smooth", 2, 0, 1, 1},
      {"{\"strength\":\"x\",\"strength\":9}", "smooth", 0, 0, 1, 1},
      {"{\"strength \":9,\"strength\\u0000\":9}", "smooth", 5, 0, 1, 1},
      {"{\"mode\":\"optical\",\"strength\":6,\"crop\":\"Max\",\"sharpen\":0,\"keep_audio\":0}",
       "optical", 6, 1, 0, 0},
  };
  for (const Case &c : cases) {
    StabilizeOptions o = read_ok(c.json);
    EXPECT_STREQ(o.mode, c.mode) << c.json;
    EXPECT_EQ(o.strength, c.strength) << c.json;
    EXPECT_EQ(o.crop_max, c.crop_max) << c.json;
    EXPECT_EQ(o.sharpen, c.sharpen) << c.json;
    EXPECT_EQ(o.keep_audio, c.keep_audio) << c.json;
  }
}

TEST(StabilizeOptions, PathsAreCopiedWhenNonEmptyStrings) {
  StabilizeOptions o = read_ok("{\"transforms\":\"/tmp/a b.trf\",\"settings\":\"C:\\\\x\\\\s.json\"}");
  EXPECT_STREQ(o.transforms, "/tmp/a b.trf");
  EXPECT_STREQ(o.settings, "C:\\x\\s.json");

  for (const char *json : {"{\"transforms\":\"\",\"settings\":\"\"}", "{\"transforms\":1,\"settings\":null}",
                           "{\"transforms\":[\"a\"],\"settings\":{\"a\":\"b\"}}"}) {
    o = read_ok(json);
    EXPECT_STREQ(o.transforms, "") << json;
    EXPECT_STREQ(o.settings, "") << json;
  }

  o = read_ok("{\"transforms\":\"first.trf\",\"transforms\":\"second.trf\"}");
  EXPECT_STREQ(o.transforms, "first.trf");
}

// A cut path would name another file: paths up to 1023 bytes are taken
// whole, longer ones refuse the options.
TEST(StabilizeOptions, PathsAreTakenWholeOrRefused) {
  std::string fits(1023, 'p');
  fits[1022] = 'A';
  StabilizeOptions o = read_ok("{\"transforms\":\"" + fits + "\",\"settings\":\"" + fits + "\"}");
  EXPECT_EQ(std::string(o.transforms), fits);
  EXPECT_EQ(std::string(o.settings), fits);
  // Escapes count as the bytes they stand for.
  std::string escaped;
  for (int i = 0; i < 512; ++i) escaped += "\\u00e9";  // two bytes each in UTF-8
  for (const std::string &json : {"{\"transforms\":\"" + fits + "q\"}", "{\"settings\":\"" + fits + "q\"}",
                                  "{\"transforms\":\"" + escaped + "\"}"}) {
    std::memset(&o, 0x55, sizeof o);
    EXPECT_EQ(read_stabilize_options(json.c_str(), &o), OptionsStatus::PathTooLong) << json.substr(0, 40);
    expect_defaults(o, "too long");
  }
}

TEST(StabilizeOptions, ARejectedTextLeavesTheDefaults) {
  StabilizeOptions o;
  std::memset(&o, 0x55, sizeof o);
  EXPECT_EQ(read_stabilize_options("{\"strength\":9", &o), OptionsStatus::NotJson);
  expect_defaults(o, "rejected");
}

}  // namespace
