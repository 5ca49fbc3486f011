#pragma once
// Program (fxp) and bank (fxb) files in the VST 2 exchange formats. Both are written
// in their opaque-chunk variants, carrying the program store's own chunk; both the
// chunk variants and the normalised parameter-list variants are read. Header
// integers are big-endian. Each operation takes the instrument's lock and answers
// false when refused, leaving slots, current index and live values as they were.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/VstAbi.h"

namespace tessaron {

class IPluginBase;

namespace fxfile {

constexpr int32_t kFileMagic = vst::FourCC('C', 'c', 'n', 'K');
constexpr int32_t kProgramChunk = vst::FourCC('F', 'P', 'C', 'h');
constexpr int32_t kProgramParams = vst::FourCC('F', 'x', 'C', 'k');
constexpr int32_t kBankChunk = vst::FourCC('F', 'B', 'C', 'h');
constexpr int32_t kBankParams = vst::FourCC('F', 'x', 'B', 'k');
constexpr int32_t kProgramFormatVersion = 1;
constexpr int32_t kBankFormatVersion = 2;

constexpr int kNameFieldSize = 28;
constexpr int kProgramHeaderSize = 56;   // up to the parameter list
constexpr int kProgramChunkOffset = 60;  // after the chunk length
constexpr int kBankHeaderSize = 156;     // up to the chunk length, or to the first program record
constexpr int kBankChunkOffset = 160;
// Far above any real bank; larger files are refused rather than read into memory.
constexpr std::int64_t kMaxFileBytes = 16 * 1024 * 1024;

}  // namespace fxfile

// A failed save leaves any earlier file of that name as it was; reason (when given)
// receives the system's explanation.
bool SaveProgramFile(IPluginBase& plug, const std::string& path, std::string* reason = nullptr);
bool SaveBankFile(IPluginBase& plug, const std::string& path, std::string* reason = nullptr);
bool LoadProgramFile(IPluginBase& plug, const std::string& path);
bool LoadBankFile(IPluginBase& plug, const std::string& path);
// An in-memory bank file in the chunk variant, header values unchecked (the bank
// built into the library). False only when there are no bytes to read.
bool ParseBankImage(IPluginBase& plug, const unsigned char* bytes, std::size_t length);

}  // namespace tessaron
