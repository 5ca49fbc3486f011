// The audio thread hands values to the editor and never waits on it: learned controllers,
// a program change and learn ending, while the editor repaints or holds its own lock.
// Meant to run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/editor/PanelTestSupport.h"

namespace tessaron::test {
namespace {

using namespace vst;
using Clock = std::chrono::steady_clock;

class Player {
 public:
  explicit Player(AEffect* effect) : effect_(effect) {}
  void Midi(uint8_t status, uint8_t d1, uint8_t d2, int32_t delta = 0) {
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.deltaFrames = delta;
    e.midiData[0] = char(status);
    e.midiData[1] = char(d1);
    e.midiData[2] = char(d2);
    VstEvents list{};
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<VstEvent*>(&e);
    effect_->dispatcher(effect_, effProcessEvents, 0, 0, &list, 0.0f);
  }
  // One audio callback: events first, as hosts deliver them; answers its length.
  Clock::duration Block(int controllerValue) {
    const auto start = Clock::now();
    if (controllerValue >= 0) Midi(0xB0, 7, uint8_t(controllerValue));
    float* outputs[2] = {left_, right_};
    effect_->processReplacing(effect_, nullptr, outputs, kFrames);
    return Clock::now() - start;
  }

 private:
  static constexpr int kFrames = 64;
  AEffect* effect_;
  float left_[kFrames], right_[kFrames];
};

double KnobValue(IEditor& editor, int param) {
  for (int i = 0; i < editor.NControls(); ++i) {
    if (editor.GetControl(i)->ParamIdx() == param) return editor.GetControl(i)->GetValue();
  }
  return -1.0;
}

TEST(EditorHandOver, AudioNeverWaitsOnTheEditor) {
  Panel p;
  AEffect* effect = p.plug->GetAEffect();
  effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  effect->dispatcher(effect, effSetBlockSize, 0, 64, nullptr, 0.0f);
  effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
  p.plug->GetConfiguration().SetController(7, kVcfCutoff);
  Player audio(effect);
  audio.Midi(0x90, 60, 100);

  // Structure: with the editor's lock held here, the audio thread plays learned
  // controllers, a program change, and ends learn (a controller queued before learn was
  // armed drains after CC 30 was captured, pairing the two). On a thread that waited for
  // the editor this would never finish.
  audio.Midi(0xB0, 7, 1, 200);
  p.plug->ArmLearn(true, false);
  {
    std::unique_lock<std::recursive_mutex> editorLock(p.editor->Mutex());
    auto played = std::async(std::launch::async, [&] {
      audio.Midi(0xB0, 30, 0);
      for (int b = 0; b < 8; ++b) audio.Block(-1);
      audio.Midi(0xC0, 3, 0);
      for (int b = 0; b < 200; ++b) audio.Block(b % 128);
    });
    const bool finished = played.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    editorLock.unlock();
    played.wait();
    ASSERT_TRUE(finished) << "the audio thread waited on the editor's lock";
  }
  EXPECT_FALSE(p.plug->Learn().Active());
  EXPECT_EQ(p.plug->GetConfiguration().Controller(30), kVcfCutoff);
  EXPECT_EQ(p.plug->CurrentProgram(), 3);
  p.editor->ApplyHandedValues();
  EXPECT_DOUBLE_EQ(KnobValue(*p.editor, kVcfCutoff), p.plug->GetParam(kVcfCutoff)->GetNormalized());

  // Measure: the editor repaints the whole panel without pause while controllers stream.
  std::atomic<bool> done{false};
  std::atomic<long> repaints{0};
  std::atomic<long long> paintNanos{0};
  std::thread editorThread([&] {
    while (!done) {
      const auto start = Clock::now();
      p.editor->InvalidateAll();
      p.editor->Paint({0, 0, p.editor->Width(), p.editor->Height()});
      p.editor->OnTimer();
      paintNanos += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
      ++repaints;
    }
  });
  Clock::duration longest{};
  long slow = 0, blocks = 0;
  for (int b = 0; b < 3000 || repaints < 20; ++b, ++blocks) {
    const Clock::duration d = audio.Block(b % 128);
    longest = std::max(longest, d);
    slow += d > std::chrono::milliseconds(2);
  }
  done = true;
  editorThread.join();
  const double repaintMs = double(paintNanos) / 1e6 / double(repaints);
  const double longestMs = std::chrono::duration<double, std::milli>(longest).count();
  RecordProperty("longest_audio_callback_ms", std::to_string(longestMs));
  RecordProperty("mean_repaint_ms", std::to_string(repaintMs));
  std::printf("longest audio callback %.3f ms (%ld of %ld over 2 ms), mean repaint %.3f ms over %ld repaints\n",
              longestMs, slow, blocks, repaintMs, long(repaints));
  p.editor->ApplyHandedValues();
  EXPECT_DOUBLE_EQ(KnobValue(*p.editor, kVcfCutoff), p.plug->GetParam(kVcfCutoff)->GetNormalized());
}

}  // namespace
}  // namespace tessaron::test
