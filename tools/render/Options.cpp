#include "tools/render/Options.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tessaron {
namespace {

// Numbers are read with from_chars: independent of the process locale and strict about trailing junk.
bool ParseInt(const std::string& s, int& v) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, v);
  return ec == std::errc{} && p == end && !s.empty();
}

bool ParseDouble(const std::string& s, double& v) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, v);
  return ec == std::errc{} && p == end && !s.empty() && std::isfinite(v);
}

enum class Number { Ok, NotANumber, TooLarge };

// Like ParseDouble, but a number too small for a double is read as 0, as any
// decimal converter rounds it, and one too large is told apart from text.
Number ParseReal(const std::string& s, double& v) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, v);
  if (s.empty() || p != end) {
    return Number::NotANumber;
  }
  if (ec == std::errc::result_out_of_range) {
    // The exponent says which way: 1e-400 underflows, 1e400 overflows.
    const size_t e = s.find_first_of("eE");
    long double wide = 0.0L;
    const auto [q, wideEc] = std::from_chars(s.data(), end, wide);
    const bool tiny =
        wideEc == std::errc{} ? std::fabs(wide) < 1.0L : e != std::string::npos && e + 1 < s.size() && s[e + 1] == '-';
    if (tiny) {
      v = 0.0;
      return Number::Ok;
    }
    return Number::TooLarge;
  }
  if (ec != std::errc{} || std::isnan(v)) {
    return Number::NotANumber;
  }
  return std::isinf(v) ? Number::TooLarge : Number::Ok;
}

bool IsDigits(const std::string& s) {
  if (s.empty()) {
    return false;
  }
  for (char c : s) {
    if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}

}  // namespace

const char* UsageText() {
  return "usage: tessaron-render (--midi FILE.mid | --demo) -o FILE.wav [options]\n"
         "       tessaron-render --snapshot FILE.png [--program N|NAME] [--param I=V] [--tweak-open]\n"
         "\n"
         "Renders MIDI through a VST 2 instrument into an audio file, or draws Tessaron's\n"
         "editor off-screen into a PNG file.\n"
         "\n"
         "  --midi FILE        play a Standard MIDI File (format 0 or 1)\n"
         "  --demo             play the built-in demo phrase\n"
         "  -o, --output FILE  audio file to write (required); the extension picks the type:\n"
         "                     .wav (RF64 when past 4 GiB), .rf64, .w64, .flac, .ogg, .aiff, .caf\n"
         "  --module PATH      VST 2 module to load (default: the Tessaron module built with this tool)\n"
         "  --program N|NAME   select a program by number (from 0) or by its exact name\n"
         "  --param I=V        set parameter I to the normalised value V (0..1) after the program;\n"
         "                     may be repeated\n"
         "  --rate HZ          sample rate (default 44100)\n"
         "  --block N          frames per process call (default 512)\n"
         "  --tail SECONDS     time rendered after the last event (default 2)\n"
         "  --float            write 32-bit float samples (default 24-bit PCM; not for .flac, .ogg)\n"
         "  --timing           report the CPU time spent in the module's process calls\n"
         "  --snapshot FILE    draw the editor with the chosen program into a PNG file\n"
         "  --tweak-open       with --snapshot: show the tweak row open\n"
         "  --quiet            no progress bar and no summary\n"
         "  -h, --help         show this text\n";
}

ParseResult ParseOptions(const std::vector<std::string>& args, RenderOptions& out, std::string& error) {
  out = RenderOptions{};
  // Options that take one value: a second one would silently replace the first.
  std::vector<std::string> given;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool hasInlineValue = false;
    if (name.rfind("--", 0) == 0) {
      const auto eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        hasInlineValue = true;
      }
    }
    auto takeValue = [&]() -> bool {
      if (hasInlineValue) {
        return true;
      }
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    auto noValue = [&]() -> bool {
      if (hasInlineValue) {
        error = "option " + name + " takes no value";
        return false;
      }
      return true;
    };

    const std::string key = name == "--output" ? "-o" : name;
    if (key == "--midi" || key == "-o" || key == "--module" || key == "--snapshot" || key == "--program" ||
        key == "--rate" || key == "--block" || key == "--tail") {
      if (std::find(given.begin(), given.end(), key) != given.end()) {
        error = "option " + name + " given twice" +
                (key == "--midi" ? std::string("; one MIDI file per render") : std::string());
        return ParseResult::Error;
      }
      given.push_back(key);
    }

    if (name == "-h" || name == "--help") {
      return ParseResult::Help;
    } else if (name == "--demo") {
      if (!noValue()) {
        return ParseResult::Error;
      }
      out.demo = true;
    } else if (name == "--float") {
      if (!noValue()) {
        return ParseResult::Error;
      }
      out.floatSamples = true;
    } else if (name == "--quiet") {
      if (!noValue()) {
        return ParseResult::Error;
      }
      out.quiet = true;
    } else if (name == "--tweak-open") {
      if (!noValue()) {
        return ParseResult::Error;
      }
      out.tweakOpen = true;
    } else if (name == "--timing") {
      if (!noValue()) {
        return ParseResult::Error;
      }
      out.timing = true;
    } else if (name == "--snapshot") {
      if (!takeValue()) {
        return ParseResult::Error;
      }
      if (value.empty()) {
        error = "option --snapshot needs a non-empty path";
        return ParseResult::Error;
      }
      out.snapshotPath = value;
    } else if (name == "--midi" || name == "-o" || name == "--output" || name == "--module") {
      if (!takeValue()) {
        return ParseResult::Error;
      }
      if (value.empty()) {
        error = "option " + name + " needs a non-empty path";
        return ParseResult::Error;
      }
      (name == "--midi" ? out.midiPath : name == "--module" ? out.modulePath : out.outputPath) = value;
    } else if (name == "--program") {
      if (!takeValue()) {
        return ParseResult::Error;
      }
      if (value.empty()) {
        error = "option --program needs a number or a name";
        return ParseResult::Error;
      }
      out.program = value;
      out.programIsNumber = IsDigits(value);
      if (out.programIsNumber && !ParseInt(value, out.programNumber)) {
        error = "program number '" + value + "' is out of range";
        return ParseResult::Error;
      }
    } else if (name == "--rate") {
      if (!takeValue()) {
        return ParseResult::Error;
      }
      if (!ParseInt(value, out.sampleRate) || out.sampleRate < kMinSampleRate || out.sampleRate > kMaxSampleRate) {
        error = "sample rate '" + value + "' must be a whole number from " + std::to_string(kMinSampleRate) + " to " +
                std::to_string(kMaxSampleRate);
        return ParseResult::Error;
      }
    } else if (name == "--block") {
      if (!takeValue()) {
        return ParseResult::Error;
      }
      if (!ParseInt(value, out.blockSize) || out.blockSize < 1 || out.blockSize > kMaxBlockSize) {
        error = "block size '" + value + "' must be a whole number from 1 to " + std::to_string(kMaxBlockSize);
        return ParseResult::Error;
      }
    } else if (name == "--tail") {
      if (!takeValue()) {
        return ParseResult::Error;
      }
      if (!ParseDouble(value, out.tailSeconds) || out.tailSeconds < 0.0 || out.tailSeconds > kMaxTailSeconds) {
        error = "tail '" + value + "' must be a number of seconds from 0 to " +
                std::to_string(static_cast<int>(kMaxTailSeconds));
        return ParseResult::Error;
      }
    } else if (name == "--param") {
      if (!takeValue()) {
        return ParseResult::Error;
      }
      const auto eq = value.find('=');
      if (eq == std::string::npos) {
        error = "parameter setting '" + value + "' must look like INDEX=VALUE";
        return ParseResult::Error;
      }
      const std::string index = value.substr(0, eq);
      const std::string number = value.substr(eq + 1);
      ParamSetting setting;
      if (!IsDigits(index) || !ParseInt(index, setting.index)) {
        error = "parameter index '" + index + "' in '" + value + "' must be a whole number from 0";
        return ParseResult::Error;
      }
      double v = 0.0;
      const Number read = ParseReal(number, v);
      if (read == Number::NotANumber) {
        error = "parameter value '" + number + "' in '" + value + "' is not a number (give one from 0 to 1)";
        return ParseResult::Error;
      }
      if (read == Number::TooLarge || v < 0.0 || v > 1.0) {
        error = "parameter value '" + number + "' in '" + value + "' is outside 0..1";
        return ParseResult::Error;
      }
      setting.value = static_cast<float>(v);
      out.params.push_back(setting);
    } else if (!name.empty() && name[0] == '-') {
      error = "unknown option '" + args[i] + "' (see --help)";
      return ParseResult::Error;
    } else {
      error = "unexpected argument '" + args[i] + "' (see --help)";
      return ParseResult::Error;
    }
  }

  if (!out.snapshotPath.empty()) {
    if (out.demo || !out.midiPath.empty() || !out.outputPath.empty() || !out.modulePath.empty()) {
      error = "--snapshot draws the built-in editor; it takes no --midi, --demo, --module or -o";
      return ParseResult::Error;
    }
    return ParseResult::Run;
  }
  if (out.tweakOpen) {
    error = "--tweak-open belongs to --snapshot";
    return ParseResult::Error;
  }
  if (out.outputPath.empty()) {
    error = "no output file given (-o FILE.wav)";
    return ParseResult::Error;
  }
  if (out.demo == !out.midiPath.empty()) {
    error = out.demo ? "give either --midi or --demo, not both" : "nothing to play: give --midi FILE or --demo";
    return ParseResult::Error;
  }
  return ParseResult::Run;
}

}  // namespace tessaron
