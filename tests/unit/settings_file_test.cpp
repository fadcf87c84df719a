// The settings file: its exact text, and the scan that finds the transforms
// path in it, with either needle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "formats/settings_file.h"
#include "support/test_support.h"

namespace {

class SettingsFile : public ::testing::Test {
 protected:
  std::string path() const { return dir.file("settings.json"); }

  void write(const char *input, const char *transforms, double shakiness = 0.2734) {
    SettingsInfo info{input, 1280, 720, 25.0, 301, shakiness, 12.345, transforms};
    ASSERT_TRUE(write_settings_file(path().c_str(), info, CreateMode::Replace));
  }

  // What the scan gives for each needle ("-" for nothing).
  std::pair<std::string, std::string> scan() {
    return {scan_with(kTransformsKey), scan_with(kTransformsKeyColon)};
  }

  std::string scan_with(const char *needle) {
    char out[1024];
    std::memset(out, 'x', sizeof out);
    JobError error;
    bool found = scan_settings_for_transforms(path().c_str(), needle, out, &error);
    EXPECT_EQ(found, out[0] != '\0');
    return found ? out : "-";
  }

  TempDir dir;
};

}  // namespace

TEST_F(SettingsFile, WritesTheTemplate) {
  write("/videos/a.mp4", "/tmp/vsb_3.trf");
  EXPECT_EQ(read_file(path()),
            "{\n"
            "  \"engine\": \"kestrune-videostabilizer\",\n"
            "  \"version\": \"1.0.0\",\n"
            "  \"input\": \"/videos/a.mp4\",\n"
            "  \"width\": 1280,\n"
            "  \"height\": 720,\n"
            "  \"fps\": 25.000,\n"
            "  \"frames\": 301,\n"
            "  \"shakiness\": 0.2734,\n"
            "  \"max_shift_px\": 12.35,\n"
            "  \"transforms\": \"/tmp/vsb_3.trf\",\n"
            "  \"suggested_strength\": 3\n"
            "}\n");
  EXPECT_EQ(scan(), std::make_pair(std::string("/tmp/vsb_3.trf"), std::string("/tmp/vsb_3.trf")));
}

// A quotation mark, a backslash or a control character would end the value
// early, split its line, or let a path pose as another member: such paths
// are written with JSON's escapes, and the scan turns them back.
TEST_F(SettingsFile, PathsWithQuotesBackslashesAndLineFeedsAreEscapedAndReadBack) {
  struct Case {
    const char *name;
    std::string transforms;
    std::string written;  // the transforms line's value as it stands in the file
  } cases[] = {
      {"backslashes", "C:\\t\\vsb_3.trf", "C:\\\\t\\\\vsb_3.trf"},
      {"quotation marks", "/t/say \"hi\".trf", "/t/say \\\"hi\\\".trf"},
      {"a line feed and a tab", "/t/two\nlines\t.trf", "/t/two\\u000alines\\u0009.trf"},
      {"a quotation mark at both ends", "\"/t/q.trf\"", "\\\"/t/q.trf\\\""},
      {"a backslash at the end", "/t/end\\", "/t/end\\\\"},
      {"UTF-8 passes unchanged", "/t/caf\xC3\xA9.trf", "/t/caf\xC3\xA9.trf"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    write("/v/a \"b\"\n\"transforms\": \"/evil.trf\".mp4", c.transforms.c_str());
    std::string text = read_file(path());
    EXPECT_NE(text.find("  \"transforms\": \"" + c.written + "\",\n"), std::string::npos) << text;
    EXPECT_EQ(scan(), std::make_pair(c.transforms, c.transforms));
  }
}

// Settings files written before paths were escaped hold backslashes as they
// are; only the escapes the writer makes are turned back, so those read as
// they always did.
TEST_F(SettingsFile, AnOlderFileWithRawBackslashesReadsAsItAlwaysDid) {
  write_file(path(), "{\n  \"input\": \"C:\\v\\a.mp4\",\n  \"transforms\": \"C:\\t\\vsb_3.trf\",\n}\n");
  EXPECT_EQ(scan(), std::make_pair(std::string("C:\\t\\vsb_3.trf"), std::string("C:\\t\\vsb_3.trf")));
}

TEST_F(SettingsFile, SuggestedStrengthIsTheRoundedTenfoldShakinessWithin2And10) {
  struct Case {
    double shakiness;
    int strength;
  } cases[] = {{0.1289, 2}, {0.75, 8}, {1.0, 10}, {0.45, 5}, {0.0, 2}, {2.5, 10}, {std::nan(""), 2}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.shakiness);
    EXPECT_EQ(suggested_strength(c.shakiness), c.strength);
    write("/v/a.mp4", "/t/a.trf", c.shakiness);
    EXPECT_NE(read_file(path()).find("  \"suggested_strength\": " + std::to_string(c.strength) + "\n}"),
              std::string::npos);
  }
}

TEST_F(SettingsFile, AnInputWithADoubleQuoteStillGivesTheTransformsPath) {
  write("/v/say \"hi\".mp4", "/tmp/vsb_9.trf");
  EXPECT_EQ(scan(), std::make_pair(std::string("/tmp/vsb_9.trf"), std::string("/tmp/vsb_9.trf")));
}

TEST_F(SettingsFile, ScanOfHandWrittenFiles) {
  std::string long_value(1100, 'L'), longest(1023, 'M');
  struct Case {
    const char *name;
    std::string text;
    std::string with_key, with_key_colon;  // "-": nothing found
  } cases[] = {
      {"all members on one line",
       "{\"engine\": \"kestrune-videostabilizer\", \"transforms\": \"/t/a.trf\", \"frames\": 3}\n",
       "kestrune-videostabilizer\", \"transforms\": \"/t/a.trf\", \"frames",
       "kestrune-videostabilizer\", \"transforms\": \"/t/a.trf\", \"frames"},
      {"a blank before the colon", "{\n  \"transforms\" : \"/t/a.trf\",\n}\n", "/t/a.trf", "-"},
      {"the last matching line wins", "\"transforms\": \"/t/1.trf\",\n\"transforms\": \"/t/2.trf\",\n", "/t/2.trf",
       "/t/2.trf"},
      {"a value longer than 1023 is passed over",
       "\"transforms\": \"/t/1.trf\",\n\"transforms\": \"" + long_value + "\",\n", "/t/1.trf", "/t/1.trf"},
      {"a value of 1023 is taken", "\"transforms\": \"" + longest + "\"\n", longest, longest},
      {"an empty value is passed over", "\"transforms\": \"/t/1.trf\",\n\"transforms\": \"\",\n", "/t/1.trf",
       "/t/1.trf"},
      {"only an empty value", "\"transforms\": \"\"\n", "-", "-"},
      {"no closing quote", "\"transforms\": /t/1.trf\n", "-", "-"},
      {"no colon", "\"transforms\" \"/t/1.trf\"\n", "-", "-"},
      {"leading blanks and quotes are lost", "\"transforms\":  \"\"  \"/t/1.trf\"\n", "/t/1.trf", "/t/1.trf"},
      {"carriage returns", "{\r\n  \"transforms\": \"/t/1.trf\",\r\n}\r\n", "/t/1.trf", "/t/1.trf"},
      {"no transforms member", "{\n  \"input\": \"/v/a.mp4\"\n}\n", "-", "-"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    write_file(path(), c.text);
    EXPECT_EQ(scan(), std::make_pair(c.with_key, c.with_key_colon));
  }
}

TEST_F(SettingsFile, AMissingFileGivesNothing) {
  EXPECT_EQ(scan(), std::make_pair(std::string("-"), std::string("-")));
}
