#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tools/render/AudioFileWriter.h"

namespace tessaron {
namespace {

// Keeps the first bytes written and the length; everything else is dropped, so
// a file of many gigabytes costs only the encoding.
class HeaderSink : public ByteSink {
 public:
  int64_t Length() override { return length; }
  int64_t Seek(int64_t offset, int whence) override {
    position = whence == SEEK_SET ? offset : whence == SEEK_CUR ? position + offset : length + offset;
    return position;
  }
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* from, int64_t bytes) override {
    for (int64_t i = 0; i < bytes && position + i < static_cast<int64_t>(sizeof header); ++i) {
      header[position + i] = static_cast<const uint8_t*>(from)[i];
    }
    position += bytes;
    length = std::max(length, position);
    return bytes;
  }
  int64_t Tell() override { return position; }

  uint64_t U64At(size_t at) const {
    uint64_t v = 0;
    std::memcpy(&v, header + at, 8);  // little-endian on every machine this runs on
    return v;
  }

  uint8_t header[64] = {};
  int64_t length = 0;
  int64_t position = 0;
};

void WriteSilence(AudioFileWriter& writer, int64_t frames, std::string& error, bool& ok) {
  const std::vector<double> silence(1 << 18);
  ok = true;
  for (int64_t done = 0; done < frames && ok; done += static_cast<int64_t>(silence.size())) {
    ok = writer.Write(silence.data(), std::min<int64_t>(frames - done, silence.size()), error);
  }
}

// A WAV header counts its bytes in 32 bits. A render known to pass that is
// written as RF64 with its true size; a plain WAV is never written past it.
TEST(AudioFileWriter, AWavPastFourGibibytesIsRf64WithTheTrueSizeNeverAWrappedHeader) {
  const int64_t frames = (int64_t{1} << 30) + (1 << 18);  // 4 GiB and 1 MiB of float samples
  AudioFileType type;
  std::string error;
  ASSERT_TRUE(AudioFileTypeFor("long.wav", true, 1, frames, type, error)) << error;
  HeaderSink sink;
  AudioFileWriter writer;
  ASSERT_TRUE(writer.Open(sink, "long.wav", type, 48000, 1, error)) << error;
  bool ok = false;
  WriteSilence(writer, frames, error, ok);
  ASSERT_TRUE(ok) << error;
  ASSERT_TRUE(writer.Close(error)) << error;
  EXPECT_EQ(std::memcmp(sink.header, "RF64", 4), 0);
  EXPECT_EQ(std::memcmp(sink.header + 8, "WAVEds64", 8), 0);
  EXPECT_EQ(static_cast<int64_t>(sink.U64At(28)), frames * 4);  // the ds64 data size
  EXPECT_EQ(static_cast<int64_t>(sink.U64At(36)), frames);      // the ds64 sample count
  EXPECT_GT(sink.length, frames * 4);

  // Planned short, written long: refused at the limit rather than wrapped.
  ASSERT_TRUE(AudioFileTypeFor("short.wav", true, 1, 48000, type, error)) << error;
  EXPECT_EQ(type.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  HeaderSink plain;
  AudioFileWriter second;
  ASSERT_TRUE(second.Open(plain, "short.wav", type, 48000, 1, error)) << error;
  const std::vector<double> one(1);
  ASSERT_TRUE(second.Write(one.data(), 1, error)) << error;
  EXPECT_FALSE(second.Write(one.data(), type.maxFrames, error));  // refused before a sample is read
  EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
  EXPECT_LT(type.maxFrames * 4, int64_t{1} << 32);

  // AIFF has no 64-bit form: a render too long for it is refused up front.
  EXPECT_FALSE(AudioFileTypeFor("long.aiff", false, 2, frames, type, error));
  EXPECT_NE(error.find("too long for an AIFF file"), std::string::npos) << error;
}

}  // namespace
}  // namespace tessaron
