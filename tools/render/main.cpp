// tessaron-render: plays a MIDI file or the demo phrase through a VST 2
// instrument and writes the result to an audio file.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/render/DemoPhrase.h"
#include "tools/render/MidiFile.h"
#include "tools/render/Options.h"
#include "tools/render/OutputFile.h"
#include "tools/render/OwnInstrument.h"
#include "tools/render/PluginModule.h"
#include "tools/render/RenderHost.h"
#include "tools/render/Renderer.h"
#include "tools/render/TempoMap.h"
#include "tools/render/AudioFileWriter.h"

#ifndef TESSARON_DEFAULT_MODULE
#define TESSARON_DEFAULT_MODULE ""
#endif
#ifndef TESSARON_SNAPSHOT_TOOL
#define TESSARON_SNAPSHOT_TOOL ""
#endif

namespace tessaron {
namespace {

// A song longer than a day is a broken file, not music; refuse it before rendering for hours.
constexpr double kMaxSongSeconds = 24.0 * 3600.0;
// Program names may be far longer than the published 24 characters; leave plenty of room.
constexpr size_t kProgramNameBuffer = 1024;
constexpr int kProgressWidth = 40;

int Fail(const std::string& message) {
  std::fprintf(stderr, "tessaron-render: %s\n", message.c_str());
  return 1;
}

// A failure after the output was begun.
int FailOutput(std::string reason, OutputFile& output) {
  const int status = output.AbandonWith(reason);
  Fail(reason);
  return status;
}

// --snapshot draws the editor of an instance built in-process, which is the snapshot
// tool's work: this program reaches instruments only through the VST 2 ABI. The tool
// takes the same options; it is the built one, or else the one beside this program.
int RunSnapshotTool(const std::vector<std::string>& args) {
  std::string tool = TESSARON_SNAPSHOT_TOOL;
  if (tool.empty() || access(tool.c_str(), X_OK) != 0) {
    std::vector<char> self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    const std::string path = n > 0 ? std::string(self.data(), static_cast<size_t>(n)) : std::string();
    tool = path.substr(0, path.find_last_of('/') + 1) + "tessaron-snapshot";
  }
  std::vector<char*> argv;
  std::string name = "tessaron-render";
  argv.push_back(name.data());
  std::vector<std::string> copies(args);
  for (std::string& a : copies) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  std::fflush(stdout);
  execv(tool.c_str(), argv.data());
  return Fail("cannot run the snapshot tool '" + tool + "': " + std::strerror(errno));
}

class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : on(enabled) {}

  void Update(int64_t done, int64_t total) {
    if (!on || total <= 0) {
      return;
    }
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == shown) {
      return;
    }
    shown = percent;
    const int filled = percent * kProgressWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kProgressWidth - filled), '-');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
  }

  void Finish() {
    if (on && shown >= 0) {
      std::fprintf(stderr, "\r%*s\r", kProgressWidth + 8, "");
      std::fflush(stderr);
    }
  }

 private:
  bool on;
  int shown = -1;
};

bool SelectProgram(PluginModule& module, const RenderOptions& opt, std::string& error) {
  const int count = module.Effect()->numPrograms;
  int index = -1;
  if (opt.programIsNumber) {
    if (opt.programNumber >= count) {
      error = "program " + opt.program + " does not exist (the module has " + std::to_string(count) +
              " programs, numbered from 0)";
      return false;
    }
    index = opt.programNumber;
  } else {
    std::vector<char> name(kProgramNameBuffer);
    for (int i = 0; i < count && index < 0; ++i) {
      std::fill(name.begin(), name.end(), '\0');
      module.Dispatch(vst::effGetProgramNameIndexed, i, -1, name.data());
      name.back() = '\0';
      if (opt.program == name.data()) {
        index = i;
      }
    }
    if (index < 0) {
      error = "no program named '" + opt.program + "' in the module";
      return false;
    }
  }
  module.Dispatch(vst::effBeginSetProgram);
  module.Dispatch(vst::effSetProgram, 0, index);
  module.Dispatch(vst::effEndSetProgram);
  return true;
}

// Below half a step of 24-bit PCM nothing is heard and a PCM file holds only zeros.
constexpr double kSilentPeak = 1.0 / (1 << 24);

std::string Decibels(double peak) {
  if (peak < kSilentPeak) {
    return "silent";
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "peak %.1f dBFS", 20.0 * std::log10(peak));
  return buf;
}

int Run(const std::vector<std::string>& args) {
  RenderOptions opt;
  std::string error;
  CatchInterrupts();
  switch (ParseOptions(args, opt, error)) {
    case ParseResult::Help: std::fputs(UsageText(), stdout); return 0;
    case ParseResult::Error: return Fail(error);
    case ParseResult::Run: break;
  }
  if (!opt.snapshotPath.empty()) {
    return RunSnapshotTool(args);
  }

  std::string modulePath = opt.modulePath.empty() ? TESSARON_DEFAULT_MODULE : opt.modulePath;
  for (const auto& [input, what] : {std::pair{opt.midiPath, "MIDI file"}, std::pair{modulePath, "module"}}) {
    if (!input.empty() && SameFile(opt.outputPath, input)) {
      return Fail("the output '" + opt.outputPath + "' is the " + what + " '" + input +
                  "' itself; choose another output file");
    }
  }
  AudioFileType fileType;
  if (!AudioFileTypeFor(opt.outputPath, opt.floatSamples, 1, 0, fileType, error)) {
    return Fail(error);  // an extension no file type is known by, before any work
  }

  MidiFile song;
  if (opt.demo) {
    song = DemoPhrase();
  } else if (!LoadMidiFile(opt.midiPath, song, error)) {
    return Fail(error);
  }
  for (const auto& warning : song.warnings) {
    std::fprintf(stderr, "tessaron-render: warning: MIDI file '%s', %s\n", opt.midiPath.c_str(),
                 DescribeWarning(warning).c_str());
  }
  const TempoMap tempo(song);
  const double rate = opt.sampleRate;
  if (tempo.SecondsAtTick(song.endTick) > kMaxSongSeconds) {
    return Fail("the MIDI file lasts longer than 24 hours");
  }
  const auto events = ScheduleEvents(song, tempo, rate);
  const int64_t lastSample = tempo.SampleAtTick(song.endTick, rate);
  const int64_t totalFrames = lastSample + 1 + std::llround(opt.tailSeconds * rate);

  if (modulePath.empty()) {
    return Fail("no module built with this tool; give one with --module PATH");
  }

  RenderHost host(tempo, rate, opt.blockSize);
  PluginModule module;
  if (!module.Load(modulePath, &RenderHost::Callback, error)) {
    return Fail(error);
  }
  vst::AEffect* effect = module.Effect();
  if (effect->numOutputs < 1 || effect->numOutputs > 64 || effect->numInputs < 0 || effect->numInputs > 64) {
    return Fail("module reports " + std::to_string(effect->numInputs) + " inputs and " +
                std::to_string(effect->numOutputs) + " outputs; cannot render that");
  }
  if (!effect->processReplacing && !module.CanProcessDouble() && !effect->process) {
    return Fail("module has no audio callback");
  }
  for (const auto& p : opt.params) {
    if (p.index >= effect->numParams) {
      return Fail("parameter " + std::to_string(p.index) + " does not exist (the module has " +
                  std::to_string(effect->numParams) + " parameters, numbered from 0)");
    }
  }

  module.Open(rate, opt.blockSize);
  if (!opt.program.empty() && !SelectProgram(module, opt, error)) {
    return Fail(error);
  }
  for (const auto& p : opt.params) {
    effect->setParameter(effect, p.index, p.value);
  }

  const int channels = effect->numOutputs;
  if (!AudioFileTypeFor(opt.outputPath, opt.floatSamples, channels, totalFrames, fileType, error)) {
    return Fail(error);
  }
  OutputFile output;
  if (!output.Begin(opt.outputPath, error)) {
    return Fail(error);
  }
  FileSink sink(output.Descriptor());
  AudioFileWriter writer;
  if (!writer.Open(sink, opt.outputPath, fileType, opt.sampleRate, channels, error)) {
    return FailOutput(error, output);
  }

  const char* processCall = module.CanProcessDouble()  ? "processDoubleReplacing"
                            : effect->processReplacing ? "processReplacing"
                                                       : "process";
  // Parameter 65 is the master level of our own instrument only; asked now, as the
  // record goes with the instance.
  const bool ours = IsOwnInstrument(effect->uniqueID);
  module.SetProcessing(true);
  ProgressBar bar(!opt.quiet && isatty(STDERR_FILENO));
  RenderJob job;
  job.module = &module;
  job.host = &host;
  job.writer = &writer;
  job.events = &events;
  job.totalFrames = totalFrames;
  job.blockSize = opt.blockSize;
  job.progress = [&bar](int64_t done, int64_t total) { bar.Update(done, total); };
  job.stop = [] { return InterruptSignal() != 0; };
  RenderStats stats;
  const bool rendered = Render(job, stats, error);
  bar.Finish();
  module.Shutdown();
  std::string closeError;
  const bool closed = writer.Close(closeError);
  if (!rendered || !closed || InterruptSignal() != 0) {
    return FailOutput(rendered ? closeError : error, output);
  }
  if (!output.Commit(error)) {
    return FailOutput(error, output);
  }

  const double seconds = static_cast<double>(stats.frames) / rate;
  if (!opt.quiet) {
    const bool wav = std::strncmp(fileType.name, "WAV", 3) == 0;
    const std::string encoding = std::string(fileType.encoding) + (wav ? "" : std::string(" ") + fileType.name);
    std::printf("%s: %.2f s, %d Hz, %d channels, %s, %s, %.0fx real time\n", opt.outputPath.c_str(), seconds,
                opt.sampleRate, channels, encoding.c_str(), Decibels(stats.peak).c_str(),
                stats.wallSeconds > 0.0 ? seconds / stats.wallSeconds : 0.0);
    if (fileType.clips && stats.peak > 1.0) {
      std::printf("warning: the peak passes full scale and was clipped in the file; %s or write --float%s\n",
                  ours ? "lower the master level (--param 65=0.35)" : "lower the module's output level",
                  wav ? "" : " to a .wav file");
    }
    if (stats.nonFiniteSamples > 0) {
      std::printf("warning: %lld NaN or infinite samples from the module were written as silence\n",
                  static_cast<long long>(stats.nonFiniteSamples));
    }
  }
  if (opt.timing) {
    std::printf("timing: %.6f s CPU in %s calls for %.3f s of audio, %.1fx real time\n", stats.processCpuSeconds,
                processCall, seconds, stats.processCpuSeconds > 0.0 ? seconds / stats.processCpuSeconds : 0.0);
  }
  return 0;
}

}  // namespace
}  // namespace tessaron

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return tessaron::Run(args);
}
