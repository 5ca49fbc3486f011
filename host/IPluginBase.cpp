#include "host/IPluginBase.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "host/IPluginEditor.h"

namespace tessaron {
namespace {

// "0-2 1-2" -> {(0,2), (1,2)}; malformed pairs are skipped.
std::vector<std::pair<int, int>> ParseChannelIO(const char* text) {
  std::vector<std::pair<int, int>> pairs;
  const char* p = text ? text : "";
  const char* end = p + std::strlen(p);
  while (p < end) {
    while (p < end && *p == ' ') ++p;
    int in = 0, out = 0;
    auto r1 = std::from_chars(p, end, in);
    if (r1.ec == std::errc() && r1.ptr < end && *r1.ptr == '-') {
      auto r2 = std::from_chars(r1.ptr + 1, end, out);
      if (r2.ec == std::errc()) {
        pairs.emplace_back(std::max(in, 0), std::max(out, 0));
        p = r2.ptr;
        continue;
      }
    }
    while (p < end && *p != ' ') ++p;
  }
  return pairs;
}

}  // namespace

IPluginBase::IPluginBase(const PluginConfig& config)
    : latency_(config.latency),
      version_(config.version),
      uniqueId_(config.uniqueId),
      channelIO_(ParseChannelIO(config.channelIO)),
      doesChunks_(config.plugDoesChunks),
      isInstrument_(config.plugIsInstrument),
      doesMidi_(config.plugDoesMidi),
      params_(static_cast<std::size_t>(std::max(config.nParams, 0))),
      slots_(static_cast<std::size_t>(std::max(config.nPrograms, 0))) {
  CopyText(effectName_, sizeof(effectName_), config.effectName);
  CopyText(productName_, sizeof(productName_), config.productName);
  CopyText(vendorName_, sizeof(vendorName_), config.vendorName);
  for (const auto& [in, out] : channelIO_) {
    maxInputs_ = std::max(maxInputs_, in);
    maxOutputs_ = std::max(maxOutputs_, out);
  }
}

IPluginBase::~IPluginBase() = default;

bool IPluginBase::LegalIO(int nIn, int nOut) const {
  for (const auto& [in, out] : channelIO_) {
    if ((nIn < 0 || nIn == in) && (nOut < 0 || nOut == out)) return true;
  }
  return false;
}

void IPluginBase::ProcessDoubleReplacing(double** inputs, double** outputs, int frames) {
  for (int c = 0; c < maxOutputs_; ++c) {
    double* out = outputs[c];
    if (!out) continue;
    const double* in = c < maxInputs_ ? inputs[c] : nullptr;
    if (in) {
      if (in != out) std::memmove(out, in, sizeof(double) * static_cast<std::size_t>(frames));
    } else {
      std::fill(out, out + frames, 0.0);
    }
  }
}

bool IPluginBase::MidiNoteName(int key, char* text) {
  (void)key;
  if (text) text[0] = '\0';
  return false;
}

bool IPluginBase::CompareState(const unsigned char* data, int size) {
  ChunkBuffer current;
  WriteState(current);
  return data && size == current.Size() && std::memcmp(data, current.Data(), static_cast<std::size_t>(size)) == 0;
}

void IPluginBase::SetParamFromEditor(int index, double normalized) {
  Lock lock(mutex_);
  IParameter* param = GetParam(index);
  if (!param || !param->SetFromNormalized(normalized)) return;
  // The host records what was asked for, not the step the parameter snapped to: a
  // controller at 64 on a four-way choice is 0.504 in the automation lane.
  InformHostOfParamChange(index, std::clamp(normalized, 0.0, 1.0));
  OnParamChange(index);
}

void IPluginBase::AttachEditor(IPluginEditor* editor) {
  Lock lock(mutex_);
  if (editor) editor->Attach(*this);
  editor_ = editor;
}

void IPluginBase::ApplyAllParams() {
  for (int i = 0; i < NParams(); ++i) OnParamChange(i);
}

void IPluginBase::RefreshEditorFromParams() {
  if (!editor_) return;
  for (int i = 0; i < NParams(); ++i) editor_->SetParameterFromPlug(i, params_[i].Value(), false);
}

void IPluginBase::ReportAllParamsToHost() {
  Lock lock(mutex_);
  for (int i = 0; i < NParams(); ++i) InformHostOfParamChange(i, params_[i].GetNormalized());
}

// ---- State ----

bool IPluginBase::SerializeParams(ChunkBuffer& buffer) {
  for (const IParameter& p : params_) buffer.PutDouble(p.Value());
  return !buffer.Empty();
}

int IPluginBase::UnserializeParams(const ChunkBuffer& buffer, int pos) {
  for (int i = 0; i < NParams() && pos >= 0; ++i) {
    double v = 0.0;
    pos = buffer.GetDouble(v, pos);
    if (pos < 0) v = 0.0;
    params_[i].SetClamped(v);
  }
  ApplyAllParams();
  return pos;
}

void IPluginBase::BeginChunk(ChunkBuffer& buffer) {
  buffer.Clear();
  buffer.PutInt32(kChunkMagic);
  buffer.PutInt32(kChunkVersion);
}

int32_t IPluginBase::ReadChunkHeader(const ChunkBuffer& buffer, int& pos) {
  int32_t magic = 0;
  const int next = buffer.GetInt32(magic, pos);
  if (next < 0 || magic != kChunkMagic) return 0;
  int32_t version = 0;
  const int after = buffer.GetInt32(version, next);
  if (after < 0) {
    pos = -1;
    return 0;
  }
  pos = after;
  return version;
}

bool IPluginBase::SerializePresets(ChunkBuffer& buffer) {
  for (const ProgramSlot& slot : slots_) {
    buffer.PutString(slot.name);
    buffer.PutByte(slot.initialised ? 1 : 0);
    if (slot.initialised) buffer.PutBytes(slot.state.Data(), static_cast<std::size_t>(slot.state.Size()));
  }
  return !buffer.Empty();
}

int IPluginBase::UnserializePresets(const ChunkBuffer& buffer, int pos) {
  for (std::size_t i = 0; i < slots_.size() && pos >= 0; ++i) {
    ProgramSlot& slot = slots_[i];
    std::string name = slot.name;
    pos = buffer.GetString(name, pos);
    slot.SetName(name);
    unsigned char flag = 0;
    if (pos >= 0) pos = buffer.GetByte(flag, pos);
    if (pos < 0) break;
    slot.initialised = flag != 0;
    if (slot.initialised) {
      pos = ReadState(buffer, pos);
      if (pos > 0) {
        slot.state.Clear();
        WriteState(slot.state);
      }
    }
  }
  SelectProgram(currentProgram_);
  return pos;
}

// ---- Programs ----

std::string IPluginBase::ProgramName(int index) const {
  const ProgramSlot* slot = GetSlot(index);
  return slot ? slot->name : std::string();
}

const ProgramSlot* IPluginBase::GetSlot(int index) const {
  return index >= 0 && index < NPrograms() ? &slots_[static_cast<std::size_t>(index)] : nullptr;
}

void IPluginBase::ModifyCurrentPreset(const char* name) {
  if (currentProgram_ < 0 || currentProgram_ >= NPrograms()) return;
  ProgramSlot& slot = slots_[static_cast<std::size_t>(currentProgram_)];
  // The state writer reads the slot's name, so write into a fresh buffer first.
  ChunkBuffer state;
  WriteState(state);
  slot.state = std::move(state);
  if (name && name[0] != '\0') slot.SetName(name);
}

bool IPluginBase::SelectProgram(int index) {
  if (index < 0 || index >= NPrograms()) return false;
  ProgramSlot& slot = slots_[static_cast<std::size_t>(index)];
  bool ok;
  if (slot.initialised) {
    ok = ReadState(slot.state, 0) > 0;
  } else {
    slot.initialised = true;
    int userPresets = 0;
    for (const ProgramSlot& s : slots_) {
      if (s.name.find("user preset") != std::string::npos) ++userPresets;
    }
    slot.SetName("user preset " + std::to_string(userPresets + 1));
    slot.state.Clear();
    ok = WriteState(slot.state);
  }
  if (ok) {
    currentProgram_ = index;
    OnProgramsChanged();
    RefreshEditorFromParams();
  }
  return ok;
}

void IPluginBase::FillEmptyPrograms(int count) {
  for (int n = 0; n < count; ++n) {
    auto it = std::find_if(slots_.begin(), slots_.end(), [](const ProgramSlot& s) { return !s.initialised; });
    if (it == slots_.end()) return;
    it->initialised = true;
    it->SetName("Empty");
    it->state.Clear();
    WriteState(it->state);
  }
}

}  // namespace tessaron
