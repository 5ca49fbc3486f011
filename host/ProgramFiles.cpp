#include "host/ProgramFiles.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>

#include "host/ChunkBuffer.h"
#include "host/IPluginBase.h"
#include "host/PluginConfig.h"
#include "host/Text.h"
#include "platform/FileSystem.h"

namespace tessaron {

using namespace fxfile;

namespace {

void PutBigEndian(ChunkBuffer& out, int32_t value) {
  const uint32_t u = static_cast<uint32_t>(value);
  const unsigned char b[4] = {static_cast<unsigned char>(u >> 24), static_cast<unsigned char>(u >> 16),
                              static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u)};
  out.PutBytes(b, 4);
}

// A field beyond the end of the data reads as false, so it matches no expected value.
bool GetBigEndian(const ChunkBuffer& in, int pos, int32_t& value) {
  if (pos < 0 || in.Remaining(pos) < 4) return false;
  const unsigned char* b = in.Data() + pos;
  value = static_cast<int32_t>((static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
                               (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]));
  return true;
}

bool FieldIs(const ChunkBuffer& in, int pos, int32_t expected) {
  int32_t value = 0;
  return GetBigEndian(in, pos, value) && value == expected;
}

bool GetBigEndianFloat(const ChunkBuffer& in, int pos, double& value) {
  int32_t bits = 0;
  if (!GetBigEndian(in, pos, bits)) return false;
  value = static_cast<double>(std::bit_cast<float>(bits));
  return true;
}

// Up to the first NUL; a name that fills the whole field has none.
std::string GetNameField(const ChunkBuffer& in, int pos) {
  const int available = std::min(kNameFieldSize, in.Remaining(pos));
  if (available <= 0) return {};
  const char* text = reinterpret_cast<const char*>(in.Data() + pos);
  return std::string(text, strnlen(text, static_cast<std::size_t>(available)));
}

// Cut to at most 27 bytes, at a character boundary, so that the field always ends in a NUL.
void PutNameField(ChunkBuffer& out, const std::string& name) {
  unsigned char field[kNameFieldSize] = {};
  CopyText(reinterpret_cast<char*>(field), kNameFieldSize, name.c_str());
  out.PutBytes(field, kNameFieldSize);
}

bool ReadWholeFile(const std::string& path, ChunkBuffer& out) {
  if (path.empty()) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  file.seekg(0, std::ios::end);
  const std::streamoff length = file.tellg();
  if (length < 0 || length > kMaxFileBytes) return false;
  file.seekg(0, std::ios::beg);
  out.Resize(static_cast<std::size_t>(length));
  if (length > 0 && !file.read(reinterpret_cast<char*>(out.Data()), length)) return false;
  return true;
}

bool WriteWholeFile(const std::string& path, const ChunkBuffer& data, std::string* reason) {
  return platform::WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(data.Data()), static_cast<std::size_t>(data.Size())),
      reason);
}

// The chunk starts at base; our own chunks carry the 8-byte header in front.
int SkipChunkHeader(const ChunkBuffer& in, int base) {
  int32_t magic = 0;
  if (in.GetInt32(magic, base) >= 0 && magic == tessaron::kChunkMagic && in.Remaining(base + 4) >= 4) return base + 8;
  return base;
}

// Sets every parameter present from the record's normalised floats, in index order.
void ApplyParameterList(IPluginBase& plug, const ChunkBuffer& in, int pos) {
  for (int j = 0; j < plug.NParams(); ++j) {
    double value = 0.0;
    if (!GetBigEndianFloat(in, pos + 4 * j, value)) break;
    plug.GetParam(j)->SetFromNormalized(value);
  }
}

}  // namespace

// The file is built under the lock and written after it, so the audio thread never
// waits for the disk.
bool SaveProgramFile(IPluginBase& plug, const std::string& path, std::string* reason) {
  ChunkBuffer file;
  {
    IPluginBase::Lock lock(plug.GetMutex());
    ChunkBuffer chunk;
    IPluginBase::BeginChunk(chunk);
    plug.WriteState(chunk);

    PutBigEndian(file, kFileMagic);
    PutBigEndian(file, chunk.Size() + kProgramChunkOffset);
    PutBigEndian(file, kProgramChunk);
    PutBigEndian(file, kProgramFormatVersion);
    PutBigEndian(file, plug.UniqueId());
    PutBigEndian(file, DecimalVersion(plug.PackedVersion()));
    PutBigEndian(file, plug.NParams());
    PutNameField(file, plug.ProgramName(plug.CurrentProgram()));
    PutBigEndian(file, chunk.Size());
    file.PutBytes(chunk.Data(), static_cast<std::size_t>(chunk.Size()));
  }
  return WriteWholeFile(path, file, reason);
}

bool SaveBankFile(IPluginBase& plug, const std::string& path, std::string* reason) {
  ChunkBuffer file;
  {
    IPluginBase::Lock lock(plug.GetMutex());
    ChunkBuffer chunk;
    IPluginBase::BeginChunk(chunk);
    plug.SerializePresets(chunk);

    PutBigEndian(file, kFileMagic);
    PutBigEndian(file, chunk.Size() + kBankChunkOffset);
    PutBigEndian(file, kBankChunk);
    PutBigEndian(file, kBankFormatVersion);
    PutBigEndian(file, plug.UniqueId());
    PutBigEndian(file, DecimalVersion(plug.PackedVersion()));
    PutBigEndian(file, plug.NPrograms());
    PutBigEndian(file, plug.CurrentProgram());
    const unsigned char reserved[kBankHeaderSize - 32] = {};
    file.PutBytes(reserved, sizeof reserved);
    PutBigEndian(file, chunk.Size());
    file.PutBytes(chunk.Data(), static_cast<std::size_t>(chunk.Size()));
  }
  return WriteWholeFile(path, file, reason);
}

bool LoadProgramFile(IPluginBase& plug, const std::string& path) {
  ChunkBuffer in;
  if (!ReadWholeFile(path, in)) return false;
  if (!FieldIs(in, 0, kFileMagic) || !FieldIs(in, 12, kProgramFormatVersion) || !FieldIs(in, 16, plug.UniqueId())) {
    return false;
  }
  int32_t type = 0;
  GetBigEndian(in, 8, type);
  if (type != kProgramChunk && type != kProgramParams) return false;

  IPluginBase::Lock lock(plug.GetMutex());
  if (type == kProgramChunk) {
    plug.ReadState(in, SkipChunkHeader(in, kProgramChunkOffset));
  } else {
    ApplyParameterList(plug, in, kProgramHeaderSize);
  }
  const std::string name = GetNameField(in, 28);
  plug.ModifyCurrentPreset(name.c_str());
  plug.SelectProgram(plug.CurrentProgram());
  plug.InformHostOfProgramChange();
  return true;
}

bool LoadBankFile(IPluginBase& plug, const std::string& path) {
  ChunkBuffer in;
  if (!ReadWholeFile(path, in)) return false;
  if (!FieldIs(in, 0, kFileMagic) || !FieldIs(in, 16, plug.UniqueId())) return false;
  int32_t type = 0;
  GetBigEndian(in, 8, type);
  if (type != kBankChunk && type != kBankParams) return false;

  IPluginBase::Lock lock(plug.GetMutex());
  if (type == kBankChunk) {
    plug.UnserializePresets(in, SkipChunkHeader(in, kBankChunkOffset));
  } else {
    int32_t count = 0;
    int32_t current = 0;
    GetBigEndian(in, 24, count);
    GetBigEndian(in, 28, current);
    // Records beyond the last slot would all land on it; they are not read.
    count = std::min(count, plug.NPrograms());
    const int recordSize = kProgramHeaderSize + 4 * plug.NParams();
    int pos = kBankHeaderSize;
    for (int i = 0; i < count; ++i, pos += recordSize) {
      if (!FieldIs(in, pos, kFileMagic) || !FieldIs(in, pos + 8, kProgramParams) ||
          !FieldIs(in, pos + 12, kProgramFormatVersion) || !FieldIs(in, pos + 24, plug.NParams())) {
        return false;
      }
      plug.SelectProgram(i);
      ApplyParameterList(plug, in, pos + kProgramHeaderSize);
      const std::string name = GetNameField(in, pos + 28);
      plug.ModifyCurrentPreset(name.c_str());
    }
    plug.SelectProgram(current);
  }
  plug.InformHostOfProgramChange();
  return true;
}

bool ParseBankImage(IPluginBase& plug, const unsigned char* bytes, std::size_t length) {
  if (!bytes || length == 0 || length > static_cast<std::size_t>(kMaxFileBytes)) return false;
  ChunkBuffer in;
  in.Assign(bytes, length);
  IPluginBase::Lock lock(plug.GetMutex());
  const int pos = in.Size() < kBankChunkOffset ? -1 : SkipChunkHeader(in, kBankChunkOffset);
  plug.UnserializePresets(in, pos);
  plug.InformHostOfProgramChange();
  return true;
}

}  // namespace tessaron
