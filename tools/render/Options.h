#pragma once
// Command line of tessaron-render.
#include <cstdint>
#include <string>
#include <vector>

namespace tessaron {

struct ParamSetting {
  int index = 0;
  float value = 0.0f;  // normalised 0..1
};

struct RenderOptions {
  std::string modulePath;  // empty: the built-in default module
  std::string program;     // empty: leave the module's current program
  bool programIsNumber = false;
  int programNumber = 0;
  std::string midiPath;
  bool demo = false;
  std::string outputPath;
  bool tweakOpen = false;    // snapshot with the tweak row open
  std::string snapshotPath;  // draw the editor into this PNG instead of rendering audio
  int sampleRate = 44100;
  int blockSize = 512;
  double tailSeconds = 2.0;
  std::vector<ParamSetting> params;
  bool floatSamples = false;
  bool quiet = false;
  bool timing = false;
};

enum class ParseResult { Run, Help, Error };

constexpr int kMinSampleRate = 1000;
constexpr int kMaxSampleRate = 768000;
constexpr int kMaxBlockSize = 1 << 16;
constexpr double kMaxTailSeconds = 3600.0;

ParseResult ParseOptions(const std::vector<std::string>& args, RenderOptions& out, std::string& error);

const char* UsageText();

}  // namespace tessaron
