#include "tools/render/Renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

namespace tessaron {
namespace {

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// What reading the clock around a call costs by itself. In some virtual
// machines the thread clock is a system call of a microsecond or more, as much
// as a whole quiet block of audio, so it is taken out of every measurement.
double ClockBracketSeconds() {
  std::vector<double> samples(301);
  for (double& s : samples) {
    const double start = ThreadCpuSeconds();
    s = ThreadCpuSeconds() - start;
  }
  std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
  return samples[samples.size() / 2];
}

// An event list with room for a given number of entries, laid out as the
// published record with its pointer array extended past the declared two.
class EventList {
 public:
  explicit EventList(size_t capacity)
      : words((offsetof(vst::VstEvents, events) + std::max<size_t>(capacity, 2) * sizeof(vst::VstEvent*) +
               sizeof(vst::VstIntPtr) - 1) /
              sizeof(vst::VstIntPtr)),
        midi(capacity) {}

  vst::VstEvents* Fill(const ScheduledEvent* first, size_t count, int64_t blockStart) {
    auto* list = reinterpret_cast<vst::VstEvents*>(words.data());
    list->numEvents = static_cast<vst::VstInt32>(count);
    list->reserved = 0;
    vst::VstEvent** slots = list->events;
    for (size_t i = 0; i < count; ++i) {
      vst::VstMidiEvent& m = midi[i];
      m = vst::VstMidiEvent{};
      m.type = vst::kVstMidiType;
      m.byteSize = sizeof(vst::VstMidiEvent);
      m.deltaFrames = static_cast<vst::VstInt32>(first[i].sample - blockStart);
      for (int b = 0; b < 3; ++b) {
        m.midiData[b] = static_cast<char>(first[i].bytes[b]);
      }
      slots[i] = reinterpret_cast<vst::VstEvent*>(&m);
    }
    return list;
  }

 private:
  std::vector<vst::VstIntPtr> words;
  std::vector<vst::VstMidiEvent> midi;
};

size_t MostEventsInOneBlock(const std::vector<ScheduledEvent>& events, int blockSize) {
  size_t most = 0;
  size_t run = 0;
  int64_t block = -1;
  for (const auto& e : events) {
    const int64_t b = e.sample / blockSize;
    run = b == block ? run + 1 : 1;
    block = b;
    most = std::max(most, run);
  }
  return most;
}

}  // namespace

std::vector<ScheduledEvent> ScheduleEvents(const MidiFile& file, const TempoMap& tempo, double sampleRate) {
  std::vector<ScheduledEvent> out;
  out.reserve(file.events.size());
  for (const auto& e : file.events) {
    ScheduledEvent s;
    s.sample = tempo.SampleAtTick(e.tick, sampleRate);
    s.bytes[0] = e.status;
    s.bytes[1] = e.data1;
    s.bytes[2] = e.size > 2 ? e.data2 : 0;
    out.push_back(s);
  }
  return out;
}

bool Render(const RenderJob& job, RenderStats& stats, std::string& error) {
  stats = RenderStats{};
  vst::AEffect* effect = job.module->Effect();
  const int outputs = effect->numOutputs;
  const int inputs = effect->numInputs;
  const int block = job.blockSize;
  const bool useDouble = job.module->CanProcessDouble();
  stats.usedDouble = useDouble;

  // Everything the loop needs is allocated here, once.
  std::vector<double> outD(useDouble ? static_cast<size_t>(outputs) * block : 0);
  std::vector<float> outF(useDouble ? 0 : static_cast<size_t>(outputs) * block);
  std::vector<double> inD(useDouble ? static_cast<size_t>(std::max(inputs, 1)) * block : 0);
  std::vector<float> inF(useDouble ? 0 : static_cast<size_t>(std::max(inputs, 1)) * block);
  std::vector<double*> outPtrD(outputs);
  std::vector<float*> outPtrF(outputs);
  std::vector<double*> inPtrD(std::max(inputs, 1));
  std::vector<float*> inPtrF(std::max(inputs, 1));
  for (int c = 0; c < outputs; ++c) {
    outPtrD[c] = useDouble ? outD.data() + static_cast<size_t>(c) * block : nullptr;
    outPtrF[c] = useDouble ? nullptr : outF.data() + static_cast<size_t>(c) * block;
  }
  for (int c = 0; c < std::max(inputs, 1); ++c) {
    inPtrD[c] = useDouble ? inD.data() + static_cast<size_t>(c) * block : nullptr;
    inPtrF[c] = useDouble ? nullptr : inF.data() + static_cast<size_t>(c) * block;
  }
  std::vector<double> interleaved(static_cast<size_t>(outputs) * block);
  const auto& events = *job.events;
  EventList list(MostEventsInOneBlock(events, block));

  const double bracket = ClockBracketSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  size_t next = 0;
  while (next < events.size() && events[next].sample < 0) {
    ++next;  // nothing can be delivered before the start
  }
  for (int64_t start = 0; start < job.totalFrames; start += block) {
    if (job.stop && job.stop()) {
      error = "the render was stopped";
      return false;
    }
    const int frames = static_cast<int>(std::min<int64_t>(block, job.totalFrames - start));
    job.host->SetPosition(start);

    size_t end = next;
    while (end < events.size() && events[end].sample < start + frames) {
      ++end;
    }
    const double cpuStart = ThreadCpuSeconds();
    if (end > next) {
      job.module->Dispatch(vst::effProcessEvents, 0, 0, list.Fill(&events[next], end - next, start));
    }
    next = end;
    if (useDouble) {
      effect->processDoubleReplacing(effect, inPtrD.data(), outPtrD.data(), frames);
    } else if (effect->processReplacing) {
      effect->processReplacing(effect, inPtrF.data(), outPtrF.data(), frames);
    } else {
      // Only the accumulating call: it adds to what is there, so start from silence.
      std::fill(outF.begin(), outF.end(), 0.0f);
      effect->process(effect, inPtrF.data(), outPtrF.data(), frames);
    }
    stats.processCpuSeconds += std::max(0.0, ThreadCpuSeconds() - cpuStart - bracket);

    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < outputs; ++c) {
        double v = useDouble ? outPtrD[c][i] : static_cast<double>(outPtrF[c][i]);
        if (!std::isfinite(v)) {
          ++stats.nonFiniteSamples;
          v = 0.0;
        }
        stats.peak = std::max(stats.peak, std::fabs(v));
        interleaved[static_cast<size_t>(i) * outputs + c] = v;
      }
    }
    if (!job.writer->Write(interleaved.data(), frames, error)) {
      return false;
    }
    stats.frames += frames;
    if (job.progress) {
      job.progress(stats.frames, job.totalFrames);
    }
  }
  stats.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  return true;
}

}  // namespace tessaron
