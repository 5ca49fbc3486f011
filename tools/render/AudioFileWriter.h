#pragma once
// Writes interleaved double frames to an audio file whose type follows the
// output name's extension: WAV (RF64 when it would pass 4 GiB), RF64, Wave64,
// FLAC, Ogg Vorbis, AIFF or CAF, 24-bit PCM or 32-bit float where the type allows.
#include <cstdint>
#include <string>

namespace tessaron {

struct AudioFileType {
  int format = 0;             // libsndfile's major type and encoding
  const char* name = "";      // "WAV", "FLAC", ...
  const char* encoding = "";  // "24-bit", "32-bit float", "lossy"
  bool clips = true;          // samples beyond full scale are cut
  int64_t maxFrames = 0;      // the most the header can count; 0 for no limit
};

// The type for a file name, by its extension (no extension: WAV), for a file of
// the given length. A WAV file too long for a 32-bit header is written as RF64.
// False with a one-line reason for an extension no type is known by, a sample
// format the type lacks, or a length it cannot hold.
bool AudioFileTypeFor(const std::string& path, bool floatSamples, int channels, int64_t frames, AudioFileType& type,
                      std::string& error);

// Where the encoded bytes go. The file sink writes to a descriptor and keeps the
// system's reason for a failed write; tests may send the bytes elsewhere.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual int64_t Length() = 0;
  virtual int64_t Seek(int64_t offset, int whence) = 0;
  virtual int64_t Read(void* to, int64_t bytes) = 0;
  virtual int64_t Write(const void* from, int64_t bytes) = 0;
  virtual int64_t Tell() = 0;
  int failure = 0;  // errno of the first failed call
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(int fd) : descriptor(fd) {}
  int64_t Length() override;
  int64_t Seek(int64_t offset, int whence) override;
  int64_t Read(void* to, int64_t bytes) override;
  int64_t Write(const void* from, int64_t bytes) override;
  int64_t Tell() override;

 private:
  int descriptor;
};

class AudioFileWriter {
 public:
  AudioFileWriter() = default;
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;
  ~AudioFileWriter();

  // name is the file's name in messages; the sink must outlive the writer.
  bool Open(ByteSink& sink, const std::string& name, const AudioFileType& type, int sampleRate, int channels,
            std::string& error);
  // Samples outside -1..1 clip in PCM files; float files keep them.
  bool Write(const double* interleaved, int64_t frames, std::string& error);
  // Completes the header; false if any byte could not be written.
  bool Close(std::string& error);

 private:
  std::string Reason() const;

  void* file = nullptr;  // SNDFILE*, kept out of this header
  ByteSink* out = nullptr;
  std::string fileName;
  int64_t framesLeft = 0;  // before the header's count would wrap; negative for no limit
};

}  // namespace tessaron
