#pragma once
// A small VST 2 host for tests: loads a module through its exported entry point and
// records what the plug-in tells the host.
#include <cstdint>
#include <string>
#include <vector>

#include "host/VstAbi.h"
#include "tools/vsthost/VstModule.h"

namespace tessaron::test {

// The module named by the environment variable TESSARON_MODULE, loaded once per process.
class LoadedModule {
 public:
  using EntryPoint = vsthost::EntryPoint;
  static LoadedModule& Get();
  EntryPoint Entry() const { return module_.Entry(); }
  EntryPoint SymbolEntry(const char* name) const { return module_.Symbol(name); }
  const std::string& Error() const { return error_; }

 private:
  LoadedModule();
  vsthost::VstModule module_;
  std::string error_;
};

struct HostCall {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
};

struct SentMidi {
  int32_t deltaFrames;
  uint8_t status, data1, data2;
};

class TestHost {
 public:
  TestHost();
  ~TestHost();  // closes the instance if it is still open
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Builds an instance; false (with effect() null) when the module answers none.
  bool Load();
  vst::AEffect* effect() const { return effect_; }
  void Close();

  // Answers configured before Load() take effect from the first question.
  std::string vendorString = "Test Vendor";
  std::string productString = "Test Host";
  intptr_t processLevel = 1;
  bool answerTime = true;
  vst::VstTimeInfo timeInfo{};
  intptr_t processEventsAnswer = 1;

  std::vector<HostCall> calls;  // every host call, in order
  std::vector<SentMidi> midiOut;
  int CountCalls(int32_t opcode) const;
  std::vector<HostCall> CallsOf(int32_t opcode) const;
  void ClearCalls() {
    calls.clear();
    midiOut.clear();
  }

  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
  std::string DispatchText(int32_t opcode, int32_t index = 0, intptr_t* answer = nullptr);
  float GetParameter(int32_t index);
  void SetParameter(int32_t index, float value);
  void ProcessReplacing(std::vector<std::vector<float>>& outputs, int frames);
  void ProcessDouble(std::vector<std::vector<double>>& outputs, int frames);
  void ProcessAccumulating(std::vector<std::vector<float>>& outputs, int frames);
  intptr_t SendMidi(const std::vector<std::vector<uint8_t>>& messages, int32_t deltaFrames = 0);

  // Convenience over the dispatcher.
  std::string ParamName(int index) { return DispatchText(vst::effGetParamName, index); }
  std::string ParamDisplay(int index) { return DispatchText(vst::effGetParamDisplay, index); }
  std::vector<uint8_t> GetChunk(bool bank);
  intptr_t SetChunk(const std::vector<uint8_t>& bytes, bool bank);

 private:
  static vst::VstIntPtr TESSARON_VSTCALL Callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                  vst::VstIntPtr value, void* ptr, float opt);
  vst::VstIntPtr Answer(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr, float opt);

  vst::AEffect* effect_ = nullptr;
};

}  // namespace tessaron::test
