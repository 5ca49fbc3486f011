#include "tools/render/AudioFileWriter.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace tessaron {
namespace {

// Plain WAV and AIFF count their bytes in 32 bits; keep clear of that with room for the header chunks.
constexpr int64_t kMax32BitDataBytes = (int64_t{1} << 32) - 65536;

struct KnownType {
  const char* extension;
  int major;
  const char* name;
  bool hasFloat;
  bool lossy;
  bool sized32;
};

constexpr KnownType kTypes[] = {
    {"wav", SF_FORMAT_WAV, "WAV", true, false, true},         {"wave", SF_FORMAT_WAV, "WAV", true, false, true},
    {"rf64", SF_FORMAT_RF64, "RF64", true, false, false},     {"w64", SF_FORMAT_W64, "Wave64", true, false, false},
    {"flac", SF_FORMAT_FLAC, "FLAC", false, false, false},    {"ogg", SF_FORMAT_OGG, "Ogg Vorbis", false, true, false},
    {"oga", SF_FORMAT_OGG, "Ogg Vorbis", false, true, false}, {"aiff", SF_FORMAT_AIFF, "AIFF", true, false, true},
    {"aif", SF_FORMAT_AIFF, "AIFF", true, false, true},       {"caf", SF_FORMAT_CAF, "CAF", true, false, false},
};

SNDFILE* Handle(void* p) { return static_cast<SNDFILE*>(p); }

sf_count_t SinkLength(void* user) { return static_cast<ByteSink*>(user)->Length(); }
sf_count_t SinkSeek(sf_count_t offset, int whence, void* user) {
  return static_cast<ByteSink*>(user)->Seek(offset, whence);
}
sf_count_t SinkRead(void* to, sf_count_t bytes, void* user) { return static_cast<ByteSink*>(user)->Read(to, bytes); }
sf_count_t SinkWrite(const void* from, sf_count_t bytes, void* user) {
  return static_cast<ByteSink*>(user)->Write(from, bytes);
}
sf_count_t SinkTell(void* user) { return static_cast<ByteSink*>(user)->Tell(); }

}  // namespace

bool AudioFileTypeFor(const std::string& path, bool floatSamples, int channels, int64_t frames, AudioFileType& type,
                      std::string& error) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  std::string extension;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) {
    extension = path.substr(dot + 1);
  }
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const KnownType* known = extension.empty() ? &kTypes[0] : nullptr;
  for (const KnownType& k : kTypes) {
    if (!known && extension == k.extension) {
      known = &k;
    }
  }
  if (!known) {
    error = "cannot tell an audio file type from the extension '." + extension + "' of '" + path +
            "' (use .wav, .rf64, .w64, .flac, .ogg, .aiff or .caf)";
    return false;
  }
  if (floatSamples && !known->hasFloat) {
    error = std::string(known->name) + " files hold no float samples; leave out --float or write .wav";
    return false;
  }
  type = AudioFileType{};
  type.name = known->name;
  int major = known->major;
  if (known->sized32) {
    const int64_t frameBytes = static_cast<int64_t>(channels) * (floatSamples ? 4 : 3);
    type.maxFrames = kMax32BitDataBytes / std::max<int64_t>(frameBytes, 1);
    if (frames > type.maxFrames) {
      if (major != SF_FORMAT_WAV) {
        error = std::string("the render is too long for an ") + known->name +
                " file (over 4 GiB); write .wav, .w64, .caf or .flac instead";
        return false;
      }
      major = SF_FORMAT_RF64;  // the WAV successor that counts in 64 bits
      type.name = "WAV (RF64)";
      type.maxFrames = 0;
    }
  }
  if (known->lossy) {
    type.format = major | SF_FORMAT_VORBIS;
    type.encoding = "lossy";
  } else {
    type.format = major | (floatSamples ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
    type.encoding = floatSamples ? "32-bit float" : "24-bit";
    type.clips = !floatSamples;
  }
  return true;
}

int64_t FileSink::Length() {
  struct stat st {};
  if (fstat(descriptor, &st) != 0) {
    failure = failure ? failure : errno;
    return -1;
  }
  return st.st_size;
}

int64_t FileSink::Seek(int64_t offset, int whence) {
  const off_t at = lseek(descriptor, offset, whence);
  if (at < 0) {
    failure = failure ? failure : errno;
  }
  return at;
}

int64_t FileSink::Read(void* to, int64_t bytes) {
  int64_t done = 0;
  while (done < bytes) {
    const ssize_t n = read(descriptor, static_cast<char*>(to) + done, static_cast<size_t>(bytes - done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      break;
    }
    done += n;
  }
  return done;
}

int64_t FileSink::Write(const void* from, int64_t bytes) {
  int64_t done = 0;
  while (done < bytes) {
    const ssize_t n = write(descriptor, static_cast<const char*>(from) + done, static_cast<size_t>(bytes - done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      failure = failure ? failure : errno;
      break;
    }
    done += n;
  }
  return done;
}

int64_t FileSink::Tell() { return Seek(0, SEEK_CUR); }

AudioFileWriter::~AudioFileWriter() {
  if (file) {
    sf_close(Handle(file));
  }
}

std::string AudioFileWriter::Reason() const {
  if (out && out->failure) {
    return std::strerror(out->failure);
  }
  return file ? sf_strerror(Handle(file)) : "the file was not written whole";
}

bool AudioFileWriter::Open(ByteSink& sink, const std::string& name, const AudioFileType& type, int sampleRate,
                           int channels, std::string& error) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = type.format;
  if (!sf_format_check(&info)) {
    error = std::string("cannot write a ") + type.name + " file with " + std::to_string(channels) + " channels at " +
            std::to_string(sampleRate) + " Hz";
    return false;
  }
  SF_VIRTUAL_IO io{SinkLength, SinkSeek, SinkRead, SinkWrite, SinkTell};
  out = &sink;
  fileName = name;
  SNDFILE* f = sf_open_virtual(&io, SFM_WRITE, &info, &sink);
  if (!f) {
    error = "cannot write '" + name + "': " + (sink.failure ? std::strerror(sink.failure) : sf_strerror(nullptr));
    return false;
  }
  framesLeft = type.maxFrames > 0 ? type.maxFrames : -1;
  // Without clipping, out-of-range doubles wrap around in integer formats.
  sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  file = f;
  return true;
}

bool AudioFileWriter::Write(const double* interleaved, int64_t frames, std::string& error) {
  if (!file) {
    error = "no output file open";
    return false;
  }
  if (framesLeft >= 0) {
    // Never a header that wraps around: a plain WAV or AIFF file stops before it.
    if (frames > framesLeft) {
      error = "writing '" + fileName + "' failed: the file would pass the 4 GiB its header can describe";
      return false;
    }
    framesLeft -= frames;
  }
  if (sf_writef_double(Handle(file), interleaved, frames) != frames || out->failure) {
    error = "writing '" + fileName + "' failed: " + Reason();
    return false;
  }
  return true;
}

bool AudioFileWriter::Close(std::string& error) {
  SNDFILE* f = Handle(file);
  if (!f) {
    return true;
  }
  const int status = sf_close(f);
  file = nullptr;
  if (status != 0 || out->failure) {
    error =
        "writing '" + fileName + "' failed: " + (out->failure ? std::strerror(out->failure) : sf_error_number(status));
    return false;
  }
  return true;
}

}  // namespace tessaron
