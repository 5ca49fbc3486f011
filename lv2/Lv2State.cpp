// The state interface: the bank and program chunks of the VST 2 binding and the current
// program's index, checked in a scratch instrument before the live one is touched.
#include <cstring>
#include <string>
#include <vector>

#include "host/ChunkBuffer.h"
#include "host/IPluginVst.h"
#include "lv2/Lv2Plugin.h"

namespace tessaron::lv2 {

using namespace vst;

namespace {

struct SavedState {
  std::vector<unsigned char> bank;
  std::vector<unsigned char> program;
  int32_t programIndex = 0;
};

bool Fetch(AEffect* effect, SavedState& state) {
  void* data = nullptr;
  // The bank first: it stores the current program's edits in its slot.
  const VstIntPtr bankSize = effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
  if (bankSize <= 0 || !data) return false;
  const auto* bank = static_cast<const unsigned char*>(data);
  state.bank.assign(bank, bank + bankSize);
  data = nullptr;
  const VstIntPtr programSize = effect->dispatcher(effect, effGetChunk, 1, 0, &data, 0.0f);
  if (programSize <= 0 || !data) return false;
  const auto* program = static_cast<const unsigned char*>(data);
  state.program.assign(program, program + programSize);
  state.programIndex = static_cast<int32_t>(effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f));
  return true;
}

// The one order in which state enters an instrument. Program 0 is selected first, so the
// slots the bank reader rewrites come out the same whatever the instrument held before,
// and saving again gives back the same bytes.
bool Apply(AEffect* effect, const void* bank, uint32_t bankSize, const void* program, uint32_t programSize,
           int32_t index) {
  effect->dispatcher(effect, effSetProgram, 0, 0, nullptr, 0.0f);
  bool ok = effect->dispatcher(effect, effSetChunk, 0, bankSize, const_cast<void*>(bank), 0.0f) == 1;
  effect->dispatcher(effect, effSetProgram, 0, index, nullptr, 0.0f);
  ok = effect->dispatcher(effect, effSetChunk, 1, programSize, const_cast<void*>(program), 0.0f) == 1 && ok;
  return ok;
}

}  // namespace

bool Lv2Plugin::OpenScratch() {
  if (scratch_) return true;
  scratch_ = BuildInstrument();
  if (!scratch_) return false;
  AEffect* scratch = scratch_->GetAEffect();
  scratch->dispatcher(scratch, effOpen, 0, 0, nullptr, 0.0f);
  return true;
}

bool Lv2Plugin::Parses(const void* bank, uint32_t bankSize, const void* program, uint32_t programSize) {
  if (!bank || !program || bankSize > static_cast<uint32_t>(kMaxChunkBytes) ||
      programSize > static_cast<uint32_t>(kMaxChunkBytes)) {
    return false;
  }
  ChunkBuffer buffer;
  buffer.Assign(bank, bankSize);
  int pos = 0;
  if (IPluginBase::ReadChunkHeader(buffer, pos) < kChunkVersion) return false;
  if (scratch_->UnserializePresets(buffer, pos) != static_cast<int>(bankSize)) return false;
  buffer.Assign(program, programSize);
  pos = 0;
  if (IPluginBase::ReadChunkHeader(buffer, pos) == 0 || pos <= 0) return false;
  pos = scratch_->ReadState(buffer, pos);
  std::string name;
  return pos > 0 && buffer.GetString(name, pos) == static_cast<int>(programSize);
}

LV2_State_Status Lv2Plugin::Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
  std::lock_guard<std::mutex> lock(stateLock_);
  SavedState live;
  if (!Fetch(effect_, live)) return LV2_STATE_ERR_UNKNOWN;
  // The bank reader rewrites informative fields of each slot; passing the state through
  // the scratch instrument in the restore order makes a saved state the fixed point of
  // restoring it, so save, restore, save gives the same bytes.
  SavedState saved;
  if (OpenScratch()) {
    AEffect* scratch = scratch_->GetAEffect();
    if (!Apply(scratch, live.bank.data(), static_cast<uint32_t>(live.bank.size()), live.program.data(),
               static_cast<uint32_t>(live.program.size()), live.programIndex) ||
        !Fetch(scratch, saved)) {
      saved = live;
    }
  } else {
    saved = live;
  }
  constexpr uint32_t kFlags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
  LV2_State_Status status =
      store(handle, urids_.stateBank, saved.bank.data(), saved.bank.size(), urids_.atomChunk, kFlags);
  if (status == LV2_STATE_SUCCESS) {
    status = store(handle, urids_.stateProgram, saved.program.data(), saved.program.size(), urids_.atomChunk, kFlags);
  }
  if (status == LV2_STATE_SUCCESS) {
    status = store(handle, urids_.stateProgramIndex, &live.programIndex, sizeof(int32_t), urids_.atomInt, kFlags);
  }
  return status;
}

LV2_State_Status Lv2Plugin::Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  std::lock_guard<std::mutex> lock(stateLock_);
  size_t bankSize = 0, programSize = 0, indexSize = 0;
  uint32_t bankType = 0, programType = 0, indexType = 0, flags = 0;
  const void* bank = retrieve(handle, urids_.stateBank, &bankSize, &bankType, &flags);
  const void* program = retrieve(handle, urids_.stateProgram, &programSize, &programType, &flags);
  const void* index = retrieve(handle, urids_.stateProgramIndex, &indexSize, &indexType, &flags);
  if (!bank || !program || !index) return LV2_STATE_ERR_NO_PROPERTY;
  if (bankType != urids_.atomChunk || programType != urids_.atomChunk || indexType != urids_.atomInt ||
      indexSize != sizeof(int32_t)) {
    return LV2_STATE_ERR_BAD_TYPE;
  }
  int32_t programIndex = 0;
  std::memcpy(&programIndex, index, sizeof(programIndex));
  if (!OpenScratch()) return LV2_STATE_ERR_UNKNOWN;
  if (programIndex < 0 || programIndex >= scratch_->NPrograms() || bankSize > UINT32_MAX ||
      programSize > UINT32_MAX ||
      !Parses(bank, static_cast<uint32_t>(bankSize), program, static_cast<uint32_t>(programSize))) {
    return LV2_STATE_ERR_UNKNOWN;
  }
  Apply(effect_, bank, static_cast<uint32_t>(bankSize), program, static_cast<uint32_t>(programSize), programIndex);
  NoteInstrumentValues();
  adoptPorts_.store(true, std::memory_order_release);
  edits_.programChanged.store(true, std::memory_order_release);
  return LV2_STATE_SUCCESS;
}

}  // namespace tessaron::lv2
