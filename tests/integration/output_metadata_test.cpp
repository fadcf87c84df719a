// What the output carries over besides the pictures: the display matrix that
// tells players how to turn the picture, and output paths taken literally.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "media/ffmpeg_holders.h"
#include "mux/output.h"
#include "support/output_job.h"
#include "support/test_support.h"

extern "C" {
#include <libavutil/display.h>
}

namespace {

OutputVideoParams small_video() {
  OutputVideoParams video;
  video.width = 160;
  video.height = 120;
  video.fps = 30.0;
  video.avg_frame_rate = AVRational{30, 1};
  video.time_base = AVRational{1, 30};
  return video;
}

// Encodes `frames` grey pictures into path; true when the file was finished.
bool write_clip(const std::string &path, const OutputVideoParams &video, int frames) {
  auto job = std::make_unique<OutputJob>();
  OutputContext out;
  if (!open_output(&out, video, path.c_str(), nullptr, job.get())) return false;
  FramePtr frame(av_frame_alloc());
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = video.width;
  frame->height = video.height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return false;
  for (int k = 0; k < frames; ++k) {
    if (av_frame_make_writable(frame.get()) < 0) return false;
    for (int p = 0; p < 3; ++p) {
      int rows = p == 0 ? video.height : video.height / 2;
      std::memset(frame->data[p], p == 0 ? 40 + 4 * k : 128, static_cast<std::size_t>(frame->linesize[p]) * rows);
    }
    if (!output_encode_frame(&out, frame.get(), k)) return false;
  }
  output_finish(&out);
  output_close_file(&out);
  output_commit(&out);
  output_free(&out);
  return out.encode_error == 0;
}

// The output parameters FFmpeg derives from a file's first stream.
OutputVideoParams read_params(const std::string &path) {
  AVFormatContext *raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return {};
  InputContextPtr reader(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) return {};
  return output_video_params(raw, raw->streams[0], 30.0);
}

}  // namespace

TEST(OutputMetadata, TheDisplayMatrixOfTheInputIsKept) {
  // Read from a stream that has one...
  AVFormatContext *raw = avformat_alloc_context();
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> input(raw, avformat_free_context);
  AVStream *stream = avformat_new_stream(raw, nullptr);
  stream->codecpar->width = 160;
  stream->codecpar->height = 120;
  std::uint8_t *side = av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t));
  ASSERT_NE(side, nullptr);
  av_display_rotation_set(reinterpret_cast<std::int32_t *>(side), 90.0);
  OutputVideoParams video = output_video_params(raw, stream, 30.0);
  ASSERT_TRUE(video.has_display_matrix);
  EXPECT_EQ(std::memcmp(video.display_matrix, side, sizeof video.display_matrix), 0);

  // ...and written to every container that stores it.
  TempDir dir;
  OutputVideoParams params = small_video();
  params.has_display_matrix = true;
  std::memcpy(params.display_matrix, video.display_matrix, sizeof params.display_matrix);
  // What FFmpeg reads back from the output is what it read from the input:
  // a file made from one that is turned is turned the same way.
  for (const char *name : {"turned.mp4", "turned.mov"}) {
    std::string first = dir.file(std::string("first_") + name), second = dir.file(std::string("second_") + name);
    ASSERT_TRUE(write_clip(first, params, 8)) << name;
    OutputVideoParams read_first = read_params(first);
    ASSERT_TRUE(read_first.has_display_matrix) << name;
    ASSERT_TRUE(write_clip(second, read_first, 8)) << name;
    OutputVideoParams read_second = read_params(second);
    ASSERT_TRUE(read_second.has_display_matrix) << name;
    EXPECT_EQ(std::memcmp(read_first.display_matrix, read_second.display_matrix, sizeof read_first.display_matrix), 0)
        << name << ": " << av_display_rotation_get(read_first.display_matrix) << " became "
        << av_display_rotation_get(read_second.display_matrix);
    EXPECT_NEAR(std::fabs(av_display_rotation_get(read_second.display_matrix)), 90.0, 1e-6) << name;
  }
  // Without a matrix none is written.
  std::string plain = dir.file("plain.mp4");
  ASSERT_TRUE(write_clip(plain, small_video(), 8));
  AVFormatContext *back = nullptr;
  ASSERT_EQ(avformat_open_input(&back, plain.c_str(), nullptr, nullptr), 0);
  InputContextPtr reader(back);
  ASSERT_GE(avformat_find_stream_info(back, nullptr), 0);
  std::size_t size = 0;
  EXPECT_EQ(av_stream_get_side_data(back->streams[0], AV_PKT_DATA_DISPLAYMATRIX, &size), nullptr);
}

TEST(OutputMetadata, OutputPathsAreFilesWhateverTheyLookLike) {
  TempDir dir;
  for (const char *name : {"odd:name.mp4", "concat:x.mkv", "pipe:1.ts"}) {
    std::string path = dir.file(name);
    EXPECT_TRUE(write_clip(path, small_video(), 4)) << name;
    EXPECT_TRUE(file_exists(path)) << name;
    EXPECT_GT(read_file(path).size(), 100u) << name;
  }
}
