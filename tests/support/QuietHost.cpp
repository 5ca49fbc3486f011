#include "tests/support/QuietHost.h"

#include <cstddef>
#include <cstring>

#include "tests/support/TestHost.h"
#include "tools/vsthost/VstInstance.h"

namespace tessaron::test {

using namespace vst;

QuietHost::QuietHost() {
  timeInfo.sampleRate = 44100.0;
  timeInfo.tempo = 120.0;
  timeInfo.timeSigNumerator = 4;
  timeInfo.timeSigDenominator = 4;
  timeInfo.flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid | kVstTransportPlaying;
}

QuietHost::~QuietHost() { Close(); }

bool QuietHost::Open(double sampleRate, int blockSize) {
  Close();
  LoadedModule::EntryPoint entry = LoadedModule::Get().Entry();
  if (!entry) return false;
  effect_ = vsthost::Create(entry, &Callback, this);
  if (!effect_) return false;
  vsthost::Open(effect_, sampleRate, blockSize);
  vsthost::SetProcessing(effect_, true);
  return true;
}

void QuietHost::Close() {
  if (!effect_) return;
  vsthost::SetProcessing(effect_, false);
  vsthost::Close(effect_);
  effect_ = nullptr;
}

VstIntPtr TESSARON_VSTCALL QuietHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr,
                                               float) {
  auto* host = static_cast<QuietHost*>(vsthost::HostOf(effect));
  if (!host) return 0;
  host->hostCalls.fetch_add(1, std::memory_order_relaxed);
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetVendorString:
    case audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "Quiet Host");
      return 1;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&host->timeInfo);
    case audioMasterProcessEvents: return 1;
    default: return 0;
  }
}

intptr_t QuietHost::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  return vsthost::Dispatch(effect_, opcode, index, value, ptr, opt);
}

intptr_t QuietHost::Midi(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames) {
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = deltaFrames;
  event.midiData[0] = static_cast<char>(status);
  event.midiData[1] = static_cast<char>(data1);
  event.midiData[2] = static_cast<char>(data2);
  VstEvents list{};
  list.numEvents = 1;
  list.events[0] = reinterpret_cast<VstEvent*>(&event);
  return Dispatch(effProcessEvents, 0, 0, &list);
}

intptr_t QuietHost::MidiBurst(const uint8_t (*messages)[3], int count, int32_t deltaFrames) {
  // The published list layout with room for the whole burst.
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kMaxBurst];
  } list{};
  VstMidiEvent events[kMaxBurst]{};
  list.numEvents = count < kMaxBurst ? count : kMaxBurst;
  for (int i = 0; i < list.numEvents; ++i) {
    events[i].type = kVstMidiType;
    events[i].byteSize = sizeof(VstMidiEvent);
    events[i].deltaFrames = deltaFrames + i;
    for (int b = 0; b < 3; ++b) events[i].midiData[b] = static_cast<char>(messages[i][b]);
    list.events[i] = reinterpret_cast<VstEvent*>(&events[i]);
  }
  static_assert(offsetof(decltype(list), events) == offsetof(VstEvents, events));
  return Dispatch(effProcessEvents, 0, 0, &list);
}

void QuietHost::ProcessFloat(float* left, float* right, int frames, bool accumulate) {
  float* outputs[2] = {left, right};
  if (accumulate) {
    effect_->process(effect_, nullptr, outputs, frames);
  } else {
    effect_->processReplacing(effect_, nullptr, outputs, frames);
  }
}

void QuietHost::ProcessDouble(double* left, double* right, int frames) {
  double* outputs[2] = {left, right};
  effect_->processDoubleReplacing(effect_, nullptr, outputs, frames);
}

}  // namespace tessaron::test
