// Writes the factory bank image from its readable source: a bank file in the chunk
// variant, every slot initialised, every state tagged and carrying index 0 and the
// name of slot 0, as a bank saved by the instrument right after loading it looks.
//
// Source format: for each slot in order, the name in square brackets on a line of
// its own, then the 66 real parameter values in index order, separated by any
// whitespace. "#" starts a comment that runs to the end of the line.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/ChunkBuffer.h"
#include "host/IPluginBase.h"
#include "host/ProgramFiles.h"
#include "host/VstAbi.h"

namespace {

constexpr int kPrograms = 64;
constexpr int kParameters = 66;
constexpr int32_t kUniqueId = tessaron::vst::FourCC('T', 's', 'r', 'n');
constexpr int32_t kImageVersion = 900;  // the version the image was first written with
constexpr char kStateTag[] = "Tessaron_1.0.0";

struct Program {
  std::string name;
  std::vector<double> values;
};

void PutBigEndian(std::vector<unsigned char>& out, int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(u >> shift));
}

bool Fail(const std::string& message) {
  std::fprintf(stderr, "tessaron-factorybank: %s\n", message.c_str());
  return false;
}

bool ParseSource(std::istream& in, std::vector<Program>& programs) {
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    if (line[first] == '[') {
      const auto close = line.rfind(']');
      if (close == std::string::npos || close < first) return Fail(where + "unterminated program name");
      programs.push_back({line.substr(first + 1, close - first - 1), {}});
      continue;
    }
    if (programs.empty()) return Fail(where + "values before the first program name");
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
      double value = 0.0;
      const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
      if (error != std::errc() || end != word.data() + word.size()) return Fail(where + "not a number: " + word);
      programs.back().values.push_back(value);
    }
  }
  if (programs.size() != kPrograms) return Fail("expected 64 programs, found " + std::to_string(programs.size()));
  for (const Program& p : programs) {
    if (p.values.size() != kParameters) {
      return Fail("program \"" + p.name + "\" has " + std::to_string(p.values.size()) + " values, not 66");
    }
  }
  return true;
}

std::vector<unsigned char> BuildImage(const std::vector<Program>& programs) {
  tessaron::ChunkBuffer chunk;
  tessaron::IPluginBase::BeginChunk(chunk);
  for (const Program& p : programs) {
    chunk.PutString(p.name);
    chunk.PutByte(1);
    chunk.PutBytes(kStateTag, sizeof kStateTag - 1);
    chunk.PutInt32(0);
    chunk.PutString(programs.front().name);
    for (double v : p.values) chunk.PutDouble(v);
  }

  std::vector<unsigned char> image;
  PutBigEndian(image, tessaron::fxfile::kFileMagic);
  PutBigEndian(image, chunk.Size() + tessaron::fxfile::kBankChunkOffset);
  PutBigEndian(image, tessaron::fxfile::kBankChunk);
  PutBigEndian(image, tessaron::fxfile::kBankFormatVersion);
  PutBigEndian(image, kUniqueId);
  PutBigEndian(image, kImageVersion);
  PutBigEndian(image, kPrograms);
  PutBigEndian(image, 0);  // current program
  image.resize(tessaron::fxfile::kBankHeaderSize, 0);
  PutBigEndian(image, chunk.Size());
  image.insert(image.end(), chunk.Data(), chunk.Data() + chunk.Size());
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tessaron-factorybank <programs.txt> <bank.fxb>\n");
    return 2;
  }
  std::ifstream source(argv[1]);
  if (!source) return Fail(std::string("cannot read ") + argv[1]), 1;
  std::vector<Program> programs;
  if (!ParseSource(source, programs)) return 1;

  const std::vector<unsigned char> image = BuildImage(programs);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) return Fail(std::string("cannot write ") + argv[2]), 1;
  return 0;
}
