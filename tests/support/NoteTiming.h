#pragma once
// Plays notes through a plug-in's AEffect in host blocks of chosen sizes and checks that
// each one starts to sound within one control block of the sample it was sent for.
// Shared by the block-size test and its fuzz target; allocates only while setting up.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/VstAbi.h"

namespace tessaron::test {

struct TimedNote {
  int64_t at;  // absolute sample of the note-on
  uint8_t key;
};

class NoteTimingPlayer {
 public:
  // One millisecond at 44.1 kHz: the control block.
  static constexpr int64_t kControlBlock = 44;
  // A note sounds for this long; its tail has died away well before the next note.
  static constexpr int64_t kHeld = 1500;
  static constexpr int64_t kSpacing = 60000;
  // Far below a note's first sample, far above what the tails leave behind.
  static constexpr double kSilence = 1e-9;

  explicit NoteTimingPlayer(vst::AEffect* effect) : effect_(effect) {}

  // Organ 16' only, no phaser and no delay: a note's first sample is plainly audible
  // and its tail short. Every rule-free parameter is left as the program has it.
  void PreparePatch() {
    const struct {
      int index;
      float value;
    } patch[] = {{2, 0.0f},  {3, 1.0f},  {4, 0.0f},  {8, 0.0f},  {9, 0.0f},  {10, 0.0f}, {11, 1.0f}, {12, 0.5f},
                 {14, 0.5f}, {17, 0.0f}, {18, 0.0f}, {45, 0.0f}, {46, 0.0f}, {47, 0.0f}, {50, 0.0f}, {65, 1.0f}};
    for (const auto& p : patch) effect_->setParameter(effect_, p.index, p.value);
    Send(0, 0xB0, 123, 0);
    Send(0, 0xE0, 0, 64);
  }

  // Renders until every note has been played and released, in host blocks whose sizes
  // cycle through sizes; extra centre pitch bends travel the queue beside the notes.
  // Returns an empty text when every note began inside its window, else what went wrong.
  std::string Play(const std::vector<TimedNote>& notes, const std::vector<int32_t>& sizes) {
    if (notes.empty() || sizes.empty()) return {};
    const int64_t total = notes.back().at + kSpacing;
    left_.assign(size_t(total), 0.0);
    right_.assign(size_t(total), 0.0);
    struct Event {
      int64_t at;
      uint8_t status, d1, d2;
    };
    std::vector<Event> events;
    for (const TimedNote& n : notes) {
      events.push_back({n.at, 0x90, n.key, 100});
      events.push_back({n.at + kHeld / 3, 0xE0, 0, 64});
      events.push_back({n.at + kHeld, 0x80, n.key, 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    std::vector<vst::VstMidiEvent> midi(events.size());
    std::vector<vst::VstEvent*> pointers(events.size() + 2);
    size_t next = 0, sizeIndex = 0;
    for (int64_t pos = 0; pos < total;) {
      const int64_t len = std::min<int64_t>(std::clamp(sizes[sizeIndex++ % sizes.size()], 1, 8192), total - pos);
      size_t count = 0;
      for (; next < events.size() && events[next].at < pos + len; ++next, ++count) {
        vst::VstMidiEvent& m = midi[count];
        m = {};
        m.type = vst::kVstMidiType;
        m.byteSize = sizeof(vst::VstMidiEvent);
        m.deltaFrames = int32_t(events[next].at - pos);
        m.midiData[0] = char(events[next].status);
        m.midiData[1] = char(events[next].d1);
        m.midiData[2] = char(events[next].d2);
        pointers[count + 2] = reinterpret_cast<vst::VstEvent*>(&m);
      }
      if (count > 0) Deliver(pointers.data(), int32_t(count));
      double* outputs[2] = {left_.data() + pos, right_.data() + pos};
      effect_->processDoubleReplacing(effect_, nullptr, outputs, int32_t(len));
      pos += len;
    }
    for (size_t k = 0; k < notes.size(); ++k) {
      const int64_t at = notes[k].at;
      const int64_t quietFrom = k == 0 ? 0 : std::max(notes[k - 1].at + kSpacing * 3 / 4, at - kSpacing / 4);
      for (int64_t i = quietFrom; i < at; ++i) {
        if (Loud(i)) return Describe(k, at, "sounds before its sample, at " + std::to_string(i));
      }
      int64_t onset = at;
      while (onset < total && !Loud(onset)) ++onset;
      // The first sample of a note can be quieter than the threshold; one more is plenty.
      if (onset > at + kControlBlock + 1) {
        return Describe(k, at, onset < total ? "starts late, at " + std::to_string(onset) : "never sounds");
      }
    }
    return {};
  }

 private:
  bool Loud(int64_t i) const {
    return std::fabs(left_[size_t(i)]) > kSilence || std::fabs(right_[size_t(i)]) > kSilence;
  }
  static std::string Describe(size_t k, int64_t at, const std::string& what) {
    return "note " + std::to_string(k) + " sent for sample " + std::to_string(at) + " " + what;
  }
  void Send(int32_t delta, uint8_t status, uint8_t d1, uint8_t d2) {
    vst::VstMidiEvent m{};
    m.type = vst::kVstMidiType;
    m.byteSize = sizeof(vst::VstMidiEvent);
    m.deltaFrames = delta;
    m.midiData[0] = char(status);
    m.midiData[1] = char(d1);
    m.midiData[2] = char(d2);
    vst::VstEvent* pointers[3] = {nullptr, nullptr, reinterpret_cast<vst::VstEvent*>(&m)};
    Deliver(pointers, 1);
  }
  // pointers[2..] hold the events; the first two slots make room for the list header.
  void Deliver(vst::VstEvent** pointers, int32_t count) {
    static_assert(sizeof(vst::VstEvent*) * 2 >= sizeof(vst::VstInt32) + sizeof(vst::VstIntPtr));
    auto* list =
        reinterpret_cast<vst::VstEvents*>(reinterpret_cast<char*>(pointers + 2) - offsetof(vst::VstEvents, events));
    list->numEvents = count;
    list->reserved = 0;
    effect_->dispatcher(effect_, vst::effProcessEvents, 0, 0, list, 0.0f);
  }

  vst::AEffect* effect_;
  std::vector<double> left_, right_;
};

}  // namespace tessaron::test
