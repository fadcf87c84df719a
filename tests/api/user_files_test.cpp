// The users' files come first: a job never writes over its own input, the
// transforms or settings file it reads, or a file another job uses; paths
// that do not fit are refused rather than cut; only regular files are read,
// without ever waiting on a FIFO; an output takes its path's place only when
// the job succeeds; and paths with quotation marks, backslashes and line
// feeds survive the settings file.
#include <gtest/gtest.h>

#include <simdjson.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/clips.h"
#include "support/json_fields.h"
#include "support/session_fixture.h"
#include "support/test_support.h"
#include "videostabilizer.h"

namespace {

const std::string kNoTransforms = "no transforms \xE2\x80\x94 run analyze first";

std::string small_input() {
  ClipSpec clip_spec = small_clip(30);
  clip_spec.shake = 3;
  return make_clip("small.mp4", clip_spec);
}

int wait_for_end(int id) {
  int state;
  while ((state = videostabilizer_status(id)) == VIDEOSTABILIZER_RUNNING) usleep(2000);
  return state;
}

// The result of a blocking call: its report, or the error it left.
struct Outcome {
  int ok = 0;
  std::string report;
  std::string error;
};

Outcome analyze(const std::string &input, const char *settings = nullptr) {
  Outcome o;
  const char *json = nullptr;
  o.ok = videostabilizer_analyze(input.c_str(), settings, &json);
  if (json) o.report = json;
  o.error = videostabilizer_last_error();
  return o;
}

Outcome stabilize(const std::string &input, const std::string &output, const std::string &options = "") {
  Outcome o;
  const char *json = nullptr;
  o.ok = videostabilizer_stabilize(input.c_str(), output.c_str(), options.empty() ? nullptr : options.c_str(),
                                   &json);
  if (json) o.report = json;
  o.error = videostabilizer_last_error();
  return o;
}

// The options text naming a path, with the JSON escapes the path needs.
std::string option(const char *key, const std::string &path) {
  std::string text = std::string("{\"") + key + "\":\"";
  for (unsigned char c : path) {
    if (c == '"' || c == '\\') {
      text += '\\';
      text += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      text += escape;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text + "\"}";
}

class UserFiles : public SessionFixture {};

// Each refused start leaves the input as it was, and no file beside it.
TEST_F(UserFiles, PathMixUpsAreRefusedBeforeAnythingIsWritten) {
  const std::string input = file("clip.mp4");
  std::filesystem::copy_file(big_clip(), input);
  const std::string bytes = read_file(input);
  ASSERT_GT(bytes.size(), 5u * 1024 * 1024);
  const std::string hard = file("hard.mp4"), soft = file("soft.mp4"), trf = file("given.trf"),
                    settings = file("given.json");
  ASSERT_EQ(link(input.c_str(), hard.c_str()), 0);
  ASSERT_EQ(symlink(input.c_str(), soft.c_str()), 0);
  write_file(trf, "VID.STAB 1\nF 1 0 0 0\nF 2 1 1 0\n");
  write_file(settings, "{\n  \"transforms\": \"" + trf + "\",\n}\n");
  const std::string trf_bytes = read_file(trf), settings_bytes = read_file(settings);

  struct Case {
    const char *name;
    bool analysis;
    std::string path;     // the output, or the settings path of an analysis
    std::string options;  // of a stabilization
    const char *message;
  } cases[] = {
      {"output is the input", false, input, "", "output path is the input"},
      {"output is a hard link to the input", false, hard, "", "output path is the input"},
      {"output is a symbolic link to the input", false, soft, "", "output path is the input"},
      {"output is the input by another text", false, dir() + "/./clip.mp4", "", "output path is the input"},
      {"output is the transforms option", false, trf, option("transforms", trf), "output path is the transforms file"},
      {"output is the settings option", false, settings, option("settings", settings),
       "output path is the settings file"},
      {"settings path is the input", true, input, "", "settings path is the input"},
      {"settings path is a link to the input", true, hard, "", "settings path is the input"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    int id = c.analysis ? videostabilizer_analyze_start(input.c_str(), c.path.c_str())
                        : videostabilizer_stabilize_start(input.c_str(), c.path.c_str(),
                                                          c.options.empty() ? nullptr : c.options.c_str());
    EXPECT_EQ(id, -1);
    EXPECT_STREQ(videostabilizer_last_error(), c.message);
    for (int s = 0; s < 16; ++s) EXPECT_EQ(videostabilizer_status(s), -1);
  }
  EXPECT_EQ(read_file(input), bytes);
  EXPECT_EQ(read_file(trf), trf_bytes);
  EXPECT_EQ(read_file(settings), settings_bytes);
  EXPECT_EQ(dir_names(), (std::vector<std::string>{"clip.mp4", "given.json", "given.trf", "hard.mp4", "soft.mp4"}));
}

// The transforms file a stabilization finds on its own (through the
// registry, or in a settings file its options name) is checked against its
// output before the output is opened.
TEST_F(UserFiles, AnOutputThatIsTheTransformsFileFoundFails) {
  const std::string input = small_input();
  Outcome a = analyze(input, file("a.json").c_str());
  ASSERT_EQ(a.ok, 1) << a.error;
  const std::string trf = json_string(a.report, "transforms_path");
  const std::string trf_bytes = read_file(trf);

  Outcome through_registry = stabilize(input, trf);
  EXPECT_EQ(through_registry.ok, 0);
  EXPECT_EQ(through_registry.error, "output path is the transforms file");

  std::filesystem::copy_file(input, file("other name.mp4"));  // not in the registry
  Outcome through_settings = stabilize(file("other name.mp4"), trf, option("settings", file("a.json")));
  EXPECT_EQ(through_settings.ok, 0);
  EXPECT_EQ(through_settings.error, "output path is the transforms file");
  EXPECT_EQ(read_file(trf), trf_bytes);
}

// A file that a running job reads or writes is no other job's output.
TEST_F(UserFiles, AFileInUseByARunningJobIsNoOutput) {
  const std::string input = big_clip();
  const std::string settings = file("running.json");
  int running = videostabilizer_analyze_start(input.c_str(), settings.c_str());
  ASSERT_GE(running, 0);
  struct Case {
    const char *name;
    bool analysis;
    std::string path;
  } cases[] = {
      {"the settings file it writes", false, settings},
      {"the settings file it writes, as an analysis's settings path", true, settings},
      {"the input it reads", false, input},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string other = small_input();
    int id = c.analysis ? videostabilizer_analyze_start(other.c_str(), c.path.c_str())
                        : videostabilizer_stabilize_start(other.c_str(), c.path.c_str(), nullptr);
    EXPECT_EQ(id, -1);
    EXPECT_STREQ(videostabilizer_last_error(), "output path is in use by another job");
  }
  ASSERT_EQ(videostabilizer_status(running), VIDEOSTABILIZER_RUNNING) << "the clip ended too soon to tell";
  videostabilizer_cancel(running);
  EXPECT_EQ(wait_for_end(running), VIDEOSTABILIZER_CANCELLED);
  videostabilizer_free(running);
  // Once that job has ended, its files are free to be written again.
  Outcome a = analyze(small_input(), settings.c_str());
  EXPECT_EQ(a.ok, 1) << a.error;
}

TEST_F(UserFiles, TwoRunningStabilizationsCannotShareAnOutput) {
  const std::string input = big_clip();
  ASSERT_EQ(analyze(input).ok, 1);
  const std::string output = file("out.mp4");
  int first = videostabilizer_stabilize_start(input.c_str(), output.c_str(), nullptr);
  ASSERT_GE(first, 0);
  EXPECT_EQ(videostabilizer_stabilize_start(small_input().c_str(), output.c_str(), nullptr), -1);
  EXPECT_STREQ(videostabilizer_last_error(), "output path is in use by another job");
  ASSERT_EQ(videostabilizer_status(first), VIDEOSTABILIZER_RUNNING) << "the clip ended too soon to tell";
  videostabilizer_cancel(first);
  wait_for_end(first);
  videostabilizer_free(first);
}

// A path of more than 1023 bytes would be cut into another path: refused,
// after the checks of null and empty arguments.
TEST_F(UserFiles, PathsThatDoNotFitAreRefused) {
  const std::string input = small_input();
  const std::string long_path = dir() + "/" + std::string(1100 - dir().size() - 1, 'p');
  ASSERT_EQ(long_path.size(), 1100u);
  struct Case {
    const char *name;
    bool analysis;
    std::string input, path, options;
  } cases[] = {
      {"analysis input", true, long_path, "", ""},
      {"analysis settings path", true, input, long_path, ""},
      {"stabilization input", false, long_path, file("o.mp4"), ""},
      {"stabilization output", false, input, long_path, ""},
      {"transforms option", false, input, file("o.mp4"), option("transforms", long_path)},
      {"settings option", false, input, file("o.mp4"), option("settings", long_path)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    int id = c.analysis ? videostabilizer_analyze_start(c.input.c_str(), c.path.empty() ? nullptr : c.path.c_str())
                        : videostabilizer_stabilize_start(c.input.c_str(), c.path.c_str(),
                                                          c.options.empty() ? nullptr : c.options.c_str());
    EXPECT_EQ(id, -1);
    EXPECT_STREQ(videostabilizer_last_error(), "path too long");
  }
  // The null and empty checks come first; 1023 bytes still fit.
  EXPECT_EQ(videostabilizer_stabilize_start(long_path.c_str(), "", nullptr), -1);
  EXPECT_STREQ(videostabilizer_last_error(), "empty path");
  // Exactly 1023 bytes, in directories whose names fit the system's limit.
  std::string fits = dir();
  while (fits.size() + 1 + 200 < 1023) {
    fits += "/" + std::string(200, 'd');
    ASSERT_TRUE(std::filesystem::create_directory(fits));
  }
  fits += "/" + std::string(1023 - fits.size() - 1, 'q');
  ASSERT_EQ(fits.size(), 1023u);
  Outcome a = analyze(input, fits.c_str());
  EXPECT_EQ(a.ok, 1) << a.error;
  EXPECT_EQ(json_string(a.report, "settings_path"), fits);
}

// A FIFO never blocks a job (nor the free after it): inputs, transforms and
// settings files are opened without waiting and refused unless regular,
// outputs and settings paths where something else stands are refused.
TEST_F(UserFiles, AFifoEndsTheJobAtOnce) {
  const std::string fifo = file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string input = small_input();
  ASSERT_EQ(analyze(input).ok, 1);

  const char *json = nullptr;
  EXPECT_EQ(videostabilizer_probe(fifo.c_str(), &json), 0);
  EXPECT_EQ(std::string(videostabilizer_last_error()), "open input: " + fifo + " is not a regular file");

  Outcome as_input = analyze(fifo);
  EXPECT_EQ(as_input.ok, 0);
  EXPECT_EQ(as_input.error, "open input: " + fifo + " is not a regular file");
  as_input = stabilize(fifo, file("o.mp4"), option("transforms", fifo));
  EXPECT_EQ(as_input.error, "open input: " + fifo + " is not a regular file");

  int id = videostabilizer_stabilize_start(input.c_str(), file("o.mp4").c_str(), option("transforms", fifo).c_str());
  ASSERT_GE(id, 0);
  EXPECT_EQ(wait_for_end(id), VIDEOSTABILIZER_FAILED);
  EXPECT_EQ(json_string(videostabilizer_result(id), "error"), kNoTransforms);
  EXPECT_EQ(std::string(videostabilizer_last_error()), "transforms file " + fifo + " is not a regular file");
  videostabilizer_free(id);

  std::filesystem::copy_file(input, file("unknown.mp4"));  // not in the registry
  Outcome as_settings = stabilize(file("unknown.mp4"), file("o.mp4"), option("settings", fifo));
  EXPECT_EQ(as_settings.ok, 0);
  EXPECT_EQ(as_settings.error, kNoTransforms);

  Outcome as_output = stabilize(input, fifo);
  EXPECT_EQ(as_output.error, "output path is not a regular file");
  Outcome as_settings_path = analyze(input, fifo.c_str());
  EXPECT_EQ(as_settings_path.error, "settings path is not a regular file");
  Outcome directory_output = stabilize(input, dir());
  EXPECT_EQ(directory_output.error, "output path is not a regular file");
  EXPECT_FALSE(file_exists(file("o.mp4")));
}

// A job writes its output beside the output path and moves it there only
// when it succeeds: a failed or cancelled job leaves an earlier file at the
// path as it was, and no file of its own behind.
TEST_F(UserFiles, AnOutputIsReplacedOnlyOnSuccess) {
  const std::string input = big_clip();
  const std::string output = file("out.mp4");
  write_file(output, "an earlier good file");

  Outcome failed = stabilize(input, output, option("transforms", file("missing.trf")));
  EXPECT_EQ(failed.ok, 0);
  EXPECT_EQ(failed.error, kNoTransforms);
  EXPECT_EQ(read_file(output), "an earlier good file");

  ASSERT_EQ(analyze(input).ok, 1);
  ASSERT_EQ(analyze(small_input()).ok, 1);
  const std::vector<std::string> before = dir_names();
  int id = videostabilizer_stabilize_start(input.c_str(), output.c_str(), nullptr);
  ASSERT_GE(id, 0);
  // Cancelled in its frame loop, with its own file half written.
  while (videostabilizer_status(id) == VIDEOSTABILIZER_RUNNING &&
         json_number(videostabilizer_progress(id), "frames_done") < 3)
    usleep(1000);
  videostabilizer_cancel(id);
  EXPECT_EQ(wait_for_end(id), VIDEOSTABILIZER_CANCELLED);
  videostabilizer_free(id);
  EXPECT_EQ(read_file(output), "an earlier good file");
  EXPECT_EQ(dir_names(), before);

  Outcome done = stabilize(small_input(), output);
  ASSERT_EQ(done.ok, 1) << done.error;
  EXPECT_EQ(json_string(done.report, "output"), output);
  EXPECT_NE(read_file(output), "an earlier good file");
  EXPECT_EQ(dir_names(), before);  // the file beside it is gone: it took the path's place
}

// A path with a quotation mark, a backslash and a line feed, for the
// settings file and for the directory the transforms file goes into, goes
// through analyze and stabilize, and the settings file stays valid JSON.
TEST_F(UserFiles, PathsWithQuotesBackslashesAndLineFeedsRoundTrip) {
  const std::string odd_tmp = file("tmp \"q\" \\ x\ny");
  ASSERT_TRUE(std::filesystem::create_directory(odd_tmp));
  setenv("TMPDIR", odd_tmp.c_str(), 1);
  const std::string input = small_input();
  const std::string settings = file("set \"q\" \\ b\nc.json");
  Outcome a = analyze(input, settings.c_str());
  ASSERT_EQ(a.ok, 1) << a.error;
  EXPECT_EQ(json_string(a.report, "settings_path"), settings);
  const std::string trf = json_string(a.report, "transforms_path");
  EXPECT_EQ(trf.rfind(odd_tmp + "/", 0), 0u) << trf;

  simdjson::dom::parser parser;
  simdjson::dom::element doc;
  ASSERT_EQ(parser.load(settings).get(doc), simdjson::SUCCESS) << read_file(settings);
  std::string_view named;
  ASSERT_EQ(doc["transforms"].get(named), simdjson::SUCCESS);
  EXPECT_EQ(named, trf);

  std::filesystem::copy_file(input, file("copy.mp4"));  // not in the registry
  Outcome s = stabilize(file("copy.mp4"), file("out.mp4"), option("settings", settings));
  EXPECT_EQ(s.ok, 1) << s.error;
}

}  // namespace
