#pragma once
// The render loop: cuts the timeline into process calls, hands each call the
// MIDI events that fall inside it at their exact sample, and streams the output
// to the audio file writer.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/render/MidiFile.h"
#include "tools/render/PluginModule.h"
#include "tools/render/RenderHost.h"
#include "tools/render/TempoMap.h"
#include "tools/render/AudioFileWriter.h"

namespace tessaron {

struct ScheduledEvent {
  int64_t sample = 0;
  uint8_t bytes[3] = {0, 0, 0};
};

// Channel messages placed on the sample timeline, in file order.
std::vector<ScheduledEvent> ScheduleEvents(const MidiFile& file, const TempoMap& tempo, double sampleRate);

struct RenderStats {
  int64_t frames = 0;
  double peak = 0.0;               // largest absolute sample value written
  int64_t nonFiniteSamples = 0;    // NaN or infinite samples from the module, written as 0
  double processCpuSeconds = 0.0;  // CPU time of the calling thread inside the process calls
  double wallSeconds = 0.0;
  bool usedDouble = false;
};

struct RenderJob {
  PluginModule* module = nullptr;
  RenderHost* host = nullptr;
  AudioFileWriter* writer = nullptr;
  const std::vector<ScheduledEvent>* events = nullptr;
  int64_t totalFrames = 0;
  int blockSize = 512;
  std::function<void(int64_t done, int64_t total)> progress;
  std::function<bool()> stop;  // asked between blocks; true ends the render unfinished
};

bool Render(const RenderJob& job, RenderStats& stats, std::string& error);

}  // namespace tessaron
