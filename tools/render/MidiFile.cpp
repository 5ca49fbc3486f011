#include "tools/render/MidiFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tessaron {
namespace {

// Larger files are not music but a mistake; refuse before reading them whole.
constexpr size_t kMaxFileBytes = size_t{256} << 20;

class ByteReader {
 public:
  ByteReader(std::span<const uint8_t> bytes, size_t begin, size_t end) : data(bytes), pos(begin), limit(end) {}

  bool AtEnd() const { return pos >= limit; }
  size_t Position() const { return pos; }
  size_t Remaining() const { return limit - pos; }

  bool U8(uint8_t& v) {
    if (pos >= limit) {
      return false;
    }
    v = data[pos++];
    return true;
  }

  bool U16(uint16_t& v) {
    if (Remaining() < 2) {
      return false;
    }
    v = static_cast<uint16_t>((data[pos] << 8) | data[pos + 1]);
    pos += 2;
    return true;
  }

  bool U32(uint32_t& v) {
    if (Remaining() < 4) {
      return false;
    }
    v = (uint32_t{data[pos]} << 24) | (uint32_t{data[pos + 1]} << 16) | (uint32_t{data[pos + 2]} << 8) |
        uint32_t{data[pos + 3]};
    pos += 4;
    return true;
  }

  // Variable-length quantity: at most four bytes, 28 bits.
  bool Vlq(uint32_t& v, bool& tooLong) {
    v = 0;
    tooLong = false;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = 0;
      if (!U8(b)) {
        return false;
      }
      v = (v << 7) | (b & 0x7Fu);
      if ((b & 0x80u) == 0) {
        return true;
      }
    }
    tooLong = true;
    return false;
  }

  bool Skip(size_t n) {
    if (Remaining() < n) {
      return false;
    }
    pos += n;
    return true;
  }

  const uint8_t* Here() const { return data.data() + pos; }

 private:
  std::span<const uint8_t> data;
  size_t pos;
  size_t limit;
};

bool IsChunkIdChar(uint8_t c) { return c >= 0x20 && c <= 0x7E; }

int DataBytesOf(uint8_t status) {
  const uint8_t kind = status & 0xF0;
  return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

// Data bytes after a system common or real-time status; -1 where no length is defined.
int SystemDataBytes(uint8_t status) {
  switch (status) {
    case 0xF1:
    case 0xF3: return 1;
    case 0xF2: return 2;
    case 0xF4:
    case 0xF5: return -1;
    default: return 0;  // 0xF6 and the real-time bytes
  }
}

// The kinds of damage worked around, each reported once with a count.
enum class Damage {
  ValueAbove127,
  NumberAbove127,
  SystemMessage,
  NoRunningStatus,
  UndefinedStatus,
  LongDelta,
  TimeOutOfRange,
  EventPastTrack,
  TrackEndsInEvent,
  BadTempo,
  BadTimeSignature,
  FileCutShort,
  NotAChunk,
  TrackCount,
  UnknownFormat,
  HeaderLength,
  Count
};

const char* Describe(Damage d) {
  switch (d) {
    case Damage::ValueAbove127: return "data byte above 127 in a channel message, read as 127";
    case Damage::NumberAbove127: return "key, controller or program number above 127; message skipped";
    case Damage::SystemMessage: return "system common or real-time message inside a track; skipped";
    case Damage::NoRunningStatus: return "data byte with no running status; rest of the track skipped";
    case Damage::UndefinedStatus: return "undefined status byte; rest of the track skipped";
    case Damage::LongDelta: return "delta time longer than four bytes; rest of the track skipped";
    case Damage::TimeOutOfRange: return "event time out of range; rest of the track skipped";
    case Damage::EventPastTrack:
      return "meta or system exclusive event longer than its track; rest of the track skipped";
    case Damage::TrackEndsInEvent: return "track ends inside an event; that event skipped";
    case Damage::BadTempo: return "tempo event of the wrong length or of zero; ignored";
    case Damage::BadTimeSignature:
      return "time signature with numerator 0, denominator code above 7 or too short; ignored";
    case Damage::FileCutShort: return "the file ends inside this track; played what was read";
    case Damage::NotAChunk: return "bytes that are no chunk; skipped to the next track";
    case Damage::TrackCount:
      return "the header's track count differs from the tracks in the file; all tracks found are played";
    case Damage::UnknownFormat: return "unknown file format number; read as format 1";
    case Damage::HeaderLength: return "header chunk length past the end of the file; read as 6";
    case Damage::Count: break;
  }
  return "";
}

class DamageLog {
 public:
  explicit DamageLog(size_t fileOffset) : base(fileOffset) {}

  void Note(Damage d, int track, size_t position) {
    MidiFileWarning& w = seen[static_cast<size_t>(d)];
    if (w.count++ == 0) {
      w.track = track;
      w.offset = base + position;
      order.push_back(d);
    }
  }

  std::vector<MidiFileWarning> Warnings() const {
    std::vector<MidiFileWarning> out;
    for (Damage d : order) {
      MidiFileWarning w = seen[static_cast<size_t>(d)];
      w.what = Describe(d);
      out.push_back(std::move(w));
    }
    return out;
  }

 private:
  size_t base;
  MidiFileWarning seen[static_cast<size_t>(Damage::Count)];
  std::vector<Damage> order;
};

// Reads one track into the file. A track whose chunk the file cuts short
// (cutByFile) may end inside an event without a word: the cut is reported once.
void ParseTrack(ByteReader r, int track, uint64_t startTick, bool cutByFile, MidiFile& out, DamageLog& log) {
  uint64_t tick = startTick;
  uint8_t runningStatus = 0;
  auto endsInEvent = [&](size_t at) {
    if (!cutByFile) {
      log.Note(Damage::TrackEndsInEvent, track, at);
    }
  };
  while (!r.AtEnd()) {
    const size_t eventStart = r.Position();
    uint32_t delta = 0;
    bool tooLong = false;
    if (!r.Vlq(delta, tooLong)) {
      if (tooLong) {
        log.Note(Damage::LongDelta, track, eventStart);
      } else {
        endsInEvent(eventStart);
      }
      return;
    }
    tick += delta;
    if (tick > kMidiMaxTick) {
      log.Note(Damage::TimeOutOfRange, track, eventStart);
      return;
    }
    const size_t statusAt = r.Position();
    uint8_t first = 0;
    if (!r.U8(first)) {
      endsInEvent(eventStart);
      return;
    }

    if (first == 0xFF) {
      uint8_t type = 0;
      uint32_t length = 0;
      if (!r.U8(type) || !r.Vlq(length, tooLong)) {
        if (tooLong) {
          log.Note(Damage::EventPastTrack, track, statusAt);
        } else {
          endsInEvent(statusAt);
        }
        return;
      }
      if (length > r.Remaining()) {
        if (!cutByFile) {
          log.Note(Damage::EventPastTrack, track, statusAt);
        }
        return;
      }
      const uint8_t* p = r.Here();
      r.Skip(length);
      if (type == 0x2F) {
        out.endTick = std::max(out.endTick, tick);
        return;  // anything after the end marker is not part of the track
      }
      if (type == 0x51) {
        const uint32_t us = length == 3 ? (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | uint32_t{p[2]} : 0;
        if (us == 0) {
          log.Note(Damage::BadTempo, track, statusAt);
        } else {
          out.tempoChanges.push_back({tick, us});
        }
      } else if (type == 0x58) {
        if (length < 2 || p[0] == 0 || p[1] > 7) {
          log.Note(Damage::BadTimeSignature, track, statusAt);
        } else {
          out.timeSignatures.push_back({tick, p[0], 1 << p[1]});
        }
      }
      continue;
    }

    if (first == 0xF0 || first == 0xF7) {
      uint32_t length = 0;
      if (!r.Vlq(length, tooLong)) {
        if (tooLong) {
          log.Note(Damage::EventPastTrack, track, statusAt);
        } else {
          endsInEvent(statusAt);
        }
        return;
      }
      if (!r.Skip(length)) {
        if (!cutByFile) {
          log.Note(Damage::EventPastTrack, track, statusAt);
        }
        return;
      }
      continue;
    }

    if (first > 0xF0) {
      const int skip = SystemDataBytes(first);
      if (skip < 0) {
        log.Note(Damage::UndefinedStatus, track, statusAt);
        return;
      }
      log.Note(Damage::SystemMessage, track, statusAt);
      if (!r.Skip(static_cast<size_t>(skip))) {
        endsInEvent(statusAt);
        return;
      }
      continue;
    }

    MidiFileEvent e;
    e.tick = tick;
    uint8_t data[2] = {0, 0};
    int have = 0;
    if (first & 0x80) {
      runningStatus = first;
    } else {
      if (runningStatus == 0) {
        log.Note(Damage::NoRunningStatus, track, statusAt);
        return;
      }
      data[have++] = first;
    }
    e.status = runningStatus;
    const int need = DataBytesOf(e.status);
    while (have < need) {
      if (!r.U8(data[have])) {
        endsInEvent(statusAt);
        return;
      }
      ++have;
    }
    // Some programs write values above 127 in full bytes (a velocity of 204, a
    // volume of 255) and go on with the next event where the message ends: the
    // byte is data, not a new status. A value byte is read at its greatest; a
    // key, controller or program number out of range names nothing, so that
    // message is dropped.
    const uint8_t kind = e.status & 0xF0;
    const bool firstIsValue = kind == 0xD0 || kind == 0xE0;
    bool skip = false;
    for (int i = 0; i < need; ++i) {
      if (data[i] & 0x80) {
        if (i == 0 && !firstIsValue) {
          skip = true;
        } else {
          data[i] = 0x7F;
          log.Note(Damage::ValueAbove127, track, statusAt);
        }
      }
    }
    if (skip) {
      log.Note(Damage::NumberAbove127, track, statusAt);
      continue;
    }
    e.data1 = data[0];
    e.data2 = data[1];
    e.size = static_cast<uint8_t>(1 + need);
    out.events.push_back(e);
    out.endTick = std::max(out.endTick, tick);
  }
  // A missing end-of-track marker is common and harmless.
}

uint32_t LittleU32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// The Standard MIDI File inside a RIFF "RMID" file: its "data" chunk. Returns the
// whole input when it is not RIFF-wrapped, an empty span when it is but holds none.
std::span<const uint8_t> UnwrapRiff(std::span<const uint8_t> bytes, size_t& offset, bool& wrapped) {
  offset = 0;
  wrapped = false;
  if (bytes.size() < 12 || !std::equal(bytes.begin(), bytes.begin() + 4, "RIFF") ||
      !std::equal(bytes.begin() + 8, bytes.begin() + 12, "RMID")) {
    return bytes;
  }
  wrapped = true;
  size_t pos = 12;
  while (bytes.size() - pos >= 8) {
    const uint32_t length = LittleU32(bytes.data() + pos + 4);
    const size_t begin = pos + 8;
    const size_t available = bytes.size() - begin;
    if (std::equal(bytes.begin() + pos, bytes.begin() + pos + 4, "data")) {
      offset = begin;
      return bytes.subspan(begin, std::min<size_t>(length, available));  // a cut file keeps what is there
    }
    const uint64_t padded = uint64_t{length} + (length & 1);  // chunks are padded to an even length
    if (padded > available) {
      break;
    }
    pos = begin + static_cast<size_t>(padded);
  }
  return {};
}

bool ParseSmf(std::span<const uint8_t> bytes, size_t fileOffset, MidiFile& out, std::string& error) {
  DamageLog log(fileOffset);
  ByteReader r(bytes, 0, bytes.size());
  if (bytes.size() < 4) {
    error = "not a MIDI file (too short)";
    return false;
  }
  if (!std::equal(bytes.begin(), bytes.begin() + 4, "MThd")) {
    error = "not a MIDI file (no MThd header)";
    return false;
  }
  r.Skip(4);
  uint32_t headerLength = 0;
  uint16_t format = 0;
  uint16_t tracks = 0;
  uint16_t division = 0;
  if (!r.U32(headerLength) || headerLength < 6 || r.Remaining() < 6) {
    error = "truncated or malformed MThd header";
    return false;
  }
  if (headerLength > r.Remaining()) {
    log.Note(Damage::HeaderLength, 0, 4);
    headerLength = 6;
  }
  const size_t headerEnd = r.Position() + headerLength;
  r.U16(format);
  r.U16(tracks);
  r.U16(division);
  r.Skip(headerEnd - r.Position());
  if (division & 0x8000) {
    const int fps = -static_cast<int8_t>(division >> 8);
    if ((fps != 24 && fps != 25 && fps != 29 && fps != 30) || (division & 0xFF) == 0) {
      error = "malformed SMPTE time division";
      return false;
    }
  } else if (division == 0) {
    error = "time division of zero";
    return false;
  }
  if (format > 2) {
    log.Note(Damage::UnknownFormat, 0, 8);
    format = 1;
  }
  out.format = format;
  out.division = division;

  int found = 0;
  while (!r.AtEnd()) {
    const size_t chunkAt = r.Position();
    if (r.Remaining() < 8) {
      if (std::any_of(r.Here(), r.Here() + r.Remaining(), [](uint8_t b) { return b != 0; })) {
        log.Note(Damage::NotAChunk, 0, chunkAt);  // zero padding at the end is common and harmless
      }
      break;
    }
    const uint8_t* id = r.Here();
    if (!std::all_of(id, id + 4, IsChunkIdChar)) {
      // Look for the next track rather than give up on the rest of the file.
      const uint8_t* end = r.Here() + r.Remaining();
      const char tag[] = "MTrk";
      const uint8_t* next = std::search(id, end, tag, tag + 4);
      log.Note(Damage::NotAChunk, 0, chunkAt);
      r.Skip(static_cast<size_t>(next - id));
      continue;
    }
    r.Skip(4);
    uint32_t length = 0;
    r.U32(length);
    const bool isTrack = std::equal(id, id + 4, "MTrk");
    const size_t begin = r.Position();
    const bool cut = length > r.Remaining();
    if (cut) {
      if (isTrack) {
        log.Note(Damage::FileCutShort, found + 1, r.Position() + r.Remaining());
      }
      length = static_cast<uint32_t>(r.Remaining());
    }
    r.Skip(length);
    if (!isTrack) {
      continue;  // unknown chunks are allowed and skipped
    }
    // Format 2 holds independent patterns: each follows the one before.
    const uint64_t startTick = format == 2 ? out.endTick : 0;
    ParseTrack(ByteReader(bytes, begin, begin + length), found + 1, startTick, cut, out, log);
    ++found;
  }
  if (found == 0) {
    error = "no track in the file";
    return false;
  }
  if (found != tracks || (format == 0 && found != 1)) {
    log.Note(Damage::TrackCount, 0, 10);
  }
  out.trackCount = found;

  auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
  std::stable_sort(out.events.begin(), out.events.end(), byTick);
  std::stable_sort(out.tempoChanges.begin(), out.tempoChanges.end(), byTick);
  std::stable_sort(out.timeSignatures.begin(), out.timeSignatures.end(), byTick);
  out.warnings = log.Warnings();
  return true;
}

}  // namespace

std::string DescribeWarning(const MidiFileWarning& w) {
  std::string s = w.track > 0 ? "track " + std::to_string(w.track) + ", " : std::string();
  s += "byte " + std::to_string(w.offset) + ": " + w.what;
  if (w.count > 1) {
    s += " (" + std::to_string(w.count) + " times)";
  }
  return s;
}

bool ParseMidiFile(std::span<const uint8_t> bytes, MidiFile& out, std::string& error) {
  out = MidiFile{};
  size_t offset = 0;
  bool wrapped = false;
  const std::span<const uint8_t> smf = UnwrapRiff(bytes, offset, wrapped);
  if (wrapped && smf.empty()) {
    error = "RIFF MIDI file without a data chunk";
    return false;
  }
  return ParseSmf(smf, offset, out, error);
}

bool LoadMidiFile(const std::string& path, MidiFile& out, std::string& error) {
  const std::string name = "MIDI file '" + path + "'";
  auto cannotRead = [&](int err) {
    error = "cannot read " + name + ": " + std::strerror(err);
    return false;
  };
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return cannotRead(errno);
  }
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    error = name + " is a folder, not a file";
    return false;
  }
  // Read to the end rather than trust the size: pipes and the kernel's files
  // have none, and a file may change while it is read.
  std::vector<uint8_t> bytes;
  bytes.reserve(S_ISREG(st.st_mode) ? std::min(static_cast<size_t>(st.st_size), kMaxFileBytes + 1) : 65536);
  uint8_t buffer[65536];
  while (true) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      const int err = errno;
      close(fd);
      return cannotRead(err);
    }
    if (n == 0) {
      break;
    }
    if (bytes.size() + static_cast<size_t>(n) > kMaxFileBytes) {
      close(fd);
      error = name + " is too large (over 256 MiB)";
      return false;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  close(fd);
  std::string why;
  if (!ParseMidiFile(bytes, out, why)) {
    error = name + ": " + why;
    return false;
  }
  return true;
}

}  // namespace tessaron
