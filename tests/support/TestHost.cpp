#include "tests/support/TestHost.h"

#include <cstdlib>
#include <cstring>

#include "tools/vsthost/VstInstance.h"

namespace tessaron::test {

using namespace vst;

LoadedModule& LoadedModule::Get() {
  // Never unloaded: instances and the module's own threads may outlive the tests' statics.
  static LoadedModule* module = new LoadedModule;
  return *module;
}

LoadedModule::LoadedModule() {
  const char* path = std::getenv("TESSARON_MODULE");
  if (!path || !*path) {
    error_ = "TESSARON_MODULE is not set";
    return;
  }
  module_.Load(path, error_);
}

TestHost::TestHost() {
  timeInfo.sampleRate = 44100.0;
  timeInfo.tempo = 120.0;
  timeInfo.timeSigNumerator = 4;
  timeInfo.timeSigDenominator = 4;
  timeInfo.flags = kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
}

TestHost::~TestHost() { Close(); }

bool TestHost::Load() {
  Close();
  LoadedModule::EntryPoint entry = LoadedModule::Get().Entry();
  if (!entry) return false;
  effect_ = vsthost::Create(entry, &Callback, this);
  return effect_ != nullptr;
}

void TestHost::Close() {
  if (!effect_) return;
  vsthost::Close(effect_);
  effect_ = nullptr;
}

VstIntPtr TESSARON_VSTCALL TestHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt) {
  auto* host = static_cast<TestHost*>(vsthost::HostOf(effect));
  if (!host) return 0;
  return host->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr TestHost::Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  calls.push_back({opcode, index, value, opt});
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetVendorString:
      if (ptr) std::strncpy(static_cast<char*>(ptr), vendorString.c_str(), 63);
      return 1;
    case audioMasterGetProductString:
      if (ptr) std::strncpy(static_cast<char*>(ptr), productString.c_str(), 63);
      return 1;
    case audioMasterGetCurrentProcessLevel: return processLevel;
    case audioMasterGetTime: return answerTime ? reinterpret_cast<VstIntPtr>(&timeInfo) : 0;
    case audioMasterProcessEvents: {
      const auto* events = static_cast<const VstEvents*>(ptr);
      for (int i = 0; events && i < events->numEvents; ++i) {
        const VstEvent* e = events->events[i];
        if (e && e->type == kVstMidiType) {
          const auto* m = reinterpret_cast<const VstMidiEvent*>(e);
          midiOut.push_back({m->deltaFrames, static_cast<uint8_t>(m->midiData[0]), static_cast<uint8_t>(m->midiData[1]),
                             static_cast<uint8_t>(m->midiData[2])});
        }
      }
      return processEventsAnswer;
    }
    default: return 0;
  }
}

int TestHost::CountCalls(int32_t opcode) const {
  int n = 0;
  for (const HostCall& c : calls) n += c.opcode == opcode;
  return n;
}

std::vector<HostCall> TestHost::CallsOf(int32_t opcode) const {
  std::vector<HostCall> out;
  for (const HostCall& c : calls) {
    if (c.opcode == opcode) out.push_back(c);
  }
  return out;
}

intptr_t TestHost::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  return vsthost::Dispatch(effect_, opcode, index, value, ptr, opt);
}

std::string TestHost::DispatchText(int32_t opcode, int32_t index, intptr_t* answer) {
  // Guard bytes after the 64 a plug-in may write show any overrun.
  char text[256];
  std::memset(text, 0x7F, sizeof(text));
  text[0] = '\0';
  const intptr_t r = Dispatch(opcode, index, 0, text);
  if (answer) *answer = r;
  text[255] = '\0';
  return std::string(text, strnlen(text, 64));
}

float TestHost::GetParameter(int32_t index) { return effect_->getParameter(effect_, index); }

void TestHost::SetParameter(int32_t index, float value) { effect_->setParameter(effect_, index, value); }

void TestHost::ProcessReplacing(std::vector<std::vector<float>>& outputs, int frames) {
  std::vector<float*> out;
  for (auto& ch : outputs) out.push_back(ch.data());
  effect_->processReplacing(effect_, nullptr, out.data(), frames);
}

void TestHost::ProcessAccumulating(std::vector<std::vector<float>>& outputs, int frames) {
  std::vector<float*> out;
  for (auto& ch : outputs) out.push_back(ch.data());
  effect_->process(effect_, nullptr, out.data(), frames);
}

void TestHost::ProcessDouble(std::vector<std::vector<double>>& outputs, int frames) {
  std::vector<double*> out;
  for (auto& ch : outputs) out.push_back(ch.data());
  effect_->processDoubleReplacing(effect_, nullptr, out.data(), frames);
}

intptr_t TestHost::SendMidi(const std::vector<std::vector<uint8_t>>& messages, int32_t deltaFrames) {
  std::vector<VstMidiEvent> events(messages.size());
  std::vector<VstEvent*> pointers;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    VstMidiEvent& e = events[i];
    e = VstMidiEvent{};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.deltaFrames = deltaFrames;
    for (std::size_t b = 0; b < messages[i].size() && b < 3; ++b) e.midiData[b] = static_cast<char>(messages[i][b]);
    pointers.push_back(reinterpret_cast<VstEvent*>(&e));
  }
  // VstEvents is declared with two entries; a real list carries as many as it needs.
  std::vector<VstIntPtr> storage(2 + pointers.size() + 2, 0);
  auto* list = reinterpret_cast<VstEvents*>(storage.data());
  list->numEvents = static_cast<VstInt32>(pointers.size());
  if (!pointers.empty()) {
    std::memcpy(reinterpret_cast<unsigned char*>(storage.data()) + offsetof(VstEvents, events), pointers.data(),
                pointers.size() * sizeof(VstEvent*));
  }
  return Dispatch(effProcessEvents, 0, 0, list);
}

std::vector<uint8_t> TestHost::GetChunk(bool bank) {
  void* data = nullptr;
  const intptr_t size = Dispatch(effGetChunk, bank ? 0 : 1, 0, &data);
  if (size <= 0 || !data) return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

intptr_t TestHost::SetChunk(const std::vector<uint8_t>& bytes, bool bank) {
  return Dispatch(effSetChunk, bank ? 0 : 1, static_cast<intptr_t>(bytes.size()), const_cast<uint8_t*>(bytes.data()));
}

}  // namespace tessaron::test
