#include "lv2/Lv2Plugin.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>

#include "host/IPluginVst.h"
#include "host/PluginFactory.h"
#include "lv2/PortValues.h"

namespace tessaron::lv2 {

using namespace vst;

namespace {

// Not among the opcodes the instrument itself sends; a panel that changes its size would.
constexpr VstInt32 kAudioMasterSizeWindow = 15;
constexpr VstIntPtr kHostVstVersion = 2400;
// Slices are bounded by this whatever the host says, so the block size told to the
// instrument stays modest.
constexpr int kLargestBlock = 8192;
constexpr int kDefaultBlock = 2048;

// Callbacks during construction come before the record carries its owner.
thread_local Lv2Plugin* constructing = nullptr;

std::mutex& ConstructionLock() {
  static std::mutex lock;
  return lock;
}

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
  for (int i = 0; features && features[i]; ++i) {
    if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
  }
  return nullptr;
}

std::string StateKey(const char* name) { return std::string(kPluginUri) + "#" + name; }

bool NumberOf(const Urids& u, const LV2_Atom* atom, double& out) {
  if (!atom) return false;
  if (atom->type == u.atomFloat && atom->size >= sizeof(float)) {
    out = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
  } else if (atom->type == u.atomDouble && atom->size >= sizeof(double)) {
    out = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
  } else if (atom->type == u.atomInt && atom->size >= sizeof(int32_t)) {
    out = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
  } else if (atom->type == u.atomLong && atom->size >= sizeof(int64_t)) {
    out = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
  } else {
    return false;
  }
  return std::isfinite(out);
}

}  // namespace

Lv2Plugin* Lv2Plugin::Create(double sampleRate, const LV2_Feature* const* features) {
  const auto* map = static_cast<const LV2_URID_Map*>(FindFeature(features, LV2_URID__map));
  if (!map) return nullptr;
  int blockSize = kDefaultBlock;
  if (const auto* options = static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options))) {
    const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
    const LV2_URID maxBlock = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID nominalBlock = map->map(map->handle, LV2_BUF_SIZE__nominalBlockLength);
    int maxValue = 0, nominalValue = 0;
    for (const LV2_Options_Option* o = options; o->key || o->value; ++o) {
      if (o->type != atomInt || o->size != sizeof(int32_t) || !o->value) continue;
      const int32_t v = *static_cast<const int32_t*>(o->value);
      if (o->key == maxBlock) maxValue = v;
      if (o->key == nominalBlock) nominalValue = v;
    }
    if (maxValue > 0) {
      blockSize = maxValue;
    } else if (nominalValue > 0) {
      blockSize = nominalValue;
    }
  }
  blockSize = std::clamp(blockSize, 1, kLargestBlock);
  auto* plugin = new Lv2Plugin(sampleRate, map, blockSize);
  if (!plugin->Open()) {
    delete plugin;
    return nullptr;
  }
  return plugin;
}

Lv2Plugin::Lv2Plugin(double sampleRate, const LV2_URID_Map* map, int blockSize)
    : sampleRate_(sampleRate), blockSize_(blockSize) {
  const auto id = [map](const char* uri) { return map->map(map->handle, uri); };
  urids_.atomChunk = id(LV2_ATOM__Chunk);
  urids_.atomInt = id(LV2_ATOM__Int);
  urids_.atomLong = id(LV2_ATOM__Long);
  urids_.atomFloat = id(LV2_ATOM__Float);
  urids_.atomDouble = id(LV2_ATOM__Double);
  urids_.atomObject = id(LV2_ATOM__Object);
  urids_.atomBlank = id(LV2_ATOM__Blank);
  urids_.atomSequence = id(LV2_ATOM__Sequence);
  urids_.midiEvent = id(LV2_MIDI__MidiEvent);
  urids_.timePosition = id(LV2_TIME__Position);
  urids_.timeBpm = id(LV2_TIME__beatsPerMinute);
  urids_.timeSpeed = id(LV2_TIME__speed);
  urids_.timeFrame = id(LV2_TIME__frame);
  urids_.timeBar = id(LV2_TIME__bar);
  urids_.timeBarBeat = id(LV2_TIME__barBeat);
  urids_.timeBeatsPerBar = id(LV2_TIME__beatsPerBar);
  urids_.timeBeatUnit = id(LV2_TIME__beatUnit);
  urids_.maxBlockLength = id(LV2_BUF_SIZE__maxBlockLength);
  urids_.nominalBlockLength = id(LV2_BUF_SIZE__nominalBlockLength);
  urids_.stateBank = id(StateKey("bank").c_str());
  urids_.stateProgram = id(StateKey("program").c_str());
  urids_.stateProgramIndex = id(StateKey("programIndex").c_str());
  lastPort_.fill(std::numeric_limits<float>::quiet_NaN());
  time_.sampleRate = sampleRate;
  time_.timeSigNumerator = 4;
  time_.timeSigDenominator = 4;
}

IPluginVst* Lv2Plugin::BuildInstrument() {
  // Built as the VST 2 entry point builds it, one at a time.
  std::lock_guard<std::mutex> lock(ConstructionLock());
  IPluginVst* plug = CreateInstrument(&HostCallback);
  if (!plug) return nullptr;
  plug->FillEmptyPrograms(plug->NPrograms());
  plug->GetAEffect()->numPrograms = std::max(plug->GetAEffect()->numPrograms, 1);
  return plug;
}

bool Lv2Plugin::Open() {
  constructing = this;
  IPluginVst* plug = BuildInstrument();
  constructing = nullptr;
  if (!plug) return false;
  effect_ = plug->GetAEffect();
  effect_->user = this;
  Dispatch(effOpen);
  Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate_));
  Dispatch(effSetBlockSize, 0, blockSize_);
  // A new instance shows the ports' defaults, the parameter defaults: it starts on the
  // bank's "Init" program, which holds them, so the panel names the sound the host shows.
  for (int p = 0; p < effect_->numPrograms; ++p) {
    char name[kHostTextSize] = {};
    Dispatch(effGetProgramNameIndexed, p, 0, name);
    if (std::strcmp(name, "Init") == 0) {
      Dispatch(effSetProgram, 0, p);
      break;
    }
  }
  NoteInstrumentValues();
  return true;
}

Lv2Plugin::~Lv2Plugin() {
  if (effect_) Dispatch(effClose);
  if (scratch_) {
    AEffect* scratch = scratch_->GetAEffect();
    scratch->dispatcher(scratch, effClose, 0, 0, nullptr, 0.0f);
  }
}

VstIntPtr Lv2Plugin::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

// ---- The instrument's host ----

VstIntPtr TESSARON_VSTCALL Lv2Plugin::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                   void* ptr, float opt) {
  if (opcode == audioMasterVersion) return kHostVstVersion;
  Lv2Plugin* owner = effect && effect->user ? static_cast<Lv2Plugin*>(effect->user) : constructing;
  // The scratch instrument has no owner: it hears nothing but the version.
  if (!owner || (effect && owner->effect_ && effect != owner->effect_)) return 0;
  return owner->AnswerInstrument(opcode, index, value, ptr, opt);
}

VstIntPtr Lv2Plugin::AnswerInstrument(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case audioMasterAutomate:
      if (index < 0 || index >= kParameterCount || std::isnan(opt)) return 0;
      instrumentPort_[index].store(ToPortValue(index, opt), std::memory_order_relaxed);
      edits_.value[index].store(opt, std::memory_order_relaxed);
      edits_.changed[index].store(true, std::memory_order_release);
      return 1;
    case audioMasterUpdateDisplay:
      NoteInstrumentValues();
      edits_.programChanged.store(true, std::memory_order_release);
      return 1;
    case kAudioMasterSizeWindow:
      edits_.width.store(index, std::memory_order_relaxed);
      edits_.height.store(static_cast<int>(value), std::memory_order_relaxed);
      edits_.resized.store(true, std::memory_order_release);
      return 1;
    case audioMasterWantMidi: return 1;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&time_);
    case audioMasterGetSampleRate: return static_cast<VstIntPtr>(sampleRate_);
    case audioMasterGetBlockSize: return blockSize_;
    case audioMasterGetVendorString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "Grey Lantern Labs");
      return ptr ? 1 : 0;
    case audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "Tessaron LV2");
      return ptr ? 1 : 0;
    case audioMasterGetVendorVersion: return 1;
    case audioMasterCanDo: {
      if (!ptr) return 0;
      const std::string what(static_cast<const char*>(ptr), strnlen(static_cast<const char*>(ptr), 64));
      return what == "sendVstEvents" || what == "sendVstMidiEvent" || what == "sendVstTimeInfo" ||
                     what == "sizeWindow"
                 ? 1
                 : 0;
    }
    default: return 0;
  }
}

void Lv2Plugin::NoteInstrumentValues() {
  if (!effect_) return;
  for (int i = 0; i < kParameterCount; ++i) {
    instrumentPort_[i].store(ToPortValue(i, effect_->getParameter(effect_, i)), std::memory_order_relaxed);
  }
}

// ---- Ports and audio ----

void Lv2Plugin::ConnectPort(uint32_t port, void* data) {
  if (port < static_cast<uint32_t>(kParameterCount)) {
    controls_[port] = static_cast<const float*>(data);
  } else if (port == kLeftOutPort) {
    left_ = static_cast<float*>(data);
  } else if (port == kRightOutPort) {
    right_ = static_cast<float*>(data);
  } else if (port == kEventsInPort) {
    events_ = static_cast<const LV2_Atom_Sequence*>(data);
  }
}

void Lv2Plugin::Activate() { Dispatch(effMainsChanged, 0, 1); }

void Lv2Plugin::Deactivate() { Dispatch(effMainsChanged, 0, 0); }

void Lv2Plugin::ApplyControlPorts() {
  if (adoptPorts_.exchange(false, std::memory_order_acquire)) {
    // After a restore the host's ports may still hold what they held before it: they are
    // taken as seen, and only later moves apply.
    for (int i = 0; i < kParameterCount; ++i) {
      if (controls_[i]) lastPort_[i] = *controls_[i];
    }
    return;
  }
  for (int i = 0; i < kParameterCount; ++i) {
    if (!controls_[i]) continue;
    const float v = *controls_[i];
    if (std::isnan(v) || v == lastPort_[i]) continue;
    lastPort_[i] = v;
    // The echo of a change the instrument made itself (its panel, a learned controller,
    // a program change) is not applied again: the round trip through the port's float
    // would move the stored value by a rounding step.
    if (v == instrumentPort_[i].load(std::memory_order_relaxed)) continue;
    effect_->setParameter(effect_, i, FromPortValue(i, v));
    instrumentPort_[i].store(v, std::memory_order_relaxed);
  }
}

void Lv2Plugin::ReadPosition(const LV2_Atom_Object* object) {
  const LV2_Atom *bpm = nullptr, *speed = nullptr, *frame = nullptr, *bar = nullptr, *barBeat = nullptr,
                 *beatsPerBar = nullptr, *beatUnit = nullptr;
  lv2_atom_object_get(object, urids_.timeBpm, &bpm, urids_.timeSpeed, &speed, urids_.timeFrame, &frame,
                      urids_.timeBar, &bar, urids_.timeBarBeat, &barBeat, urids_.timeBeatsPerBar, &beatsPerBar,
                      urids_.timeBeatUnit, &beatUnit, 0);
  double v = 0.0;
  // A tempo that is not positive is no tempo: the instrument then keeps its own default.
  if (NumberOf(urids_, bpm, v)) {
    if (v > 0.0) {
      time_.tempo = v;
      time_.flags |= kVstTempoValid;
    } else {
      time_.flags &= ~kVstTempoValid;
    }
  }
  if (NumberOf(urids_, speed, v)) speed_ = v;
  if (speed_ != 0.0) {
    time_.flags |= kVstTransportPlaying;
  } else {
    time_.flags &= ~kVstTransportPlaying;
  }
  if (NumberOf(urids_, frame, v) && v >= 0.0) time_.samplePos = v;
  if (NumberOf(urids_, beatsPerBar, v) && v > 0.0) beatsPerBar_ = v;
  if (NumberOf(urids_, beatUnit, v) && v >= 1.0) beatUnit_ = v;
  double barIndex = 0.0, beat = 0.0;
  if (NumberOf(urids_, bar, barIndex) && NumberOf(urids_, barBeat, beat) && barIndex >= 0.0 && beat >= 0.0) {
    const double quartersPerBeat = 4.0 / beatUnit_;
    time_.barStartPos = barIndex * beatsPerBar_ * quartersPerBeat;
    time_.ppqPos = time_.barStartPos + beat * quartersPerBeat;
    time_.timeSigNumerator = static_cast<VstInt32>(std::lround(beatsPerBar_));
    time_.timeSigDenominator = static_cast<VstInt32>(std::lround(beatUnit_));
    time_.flags |= kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid;
    haveBeats_ = true;
  }
}

void Lv2Plugin::FlushEvents() {
  if (list_.numEvents == 0) return;
  Dispatch(effProcessEvents, 0, 0, &list_);
  list_.numEvents = 0;
  midiCount_ = 0;
  sysexCount_ = 0;
}

void Lv2Plugin::RenderSlice(uint32_t offset, uint32_t frames) {
  float* inputs[1] = {nullptr};
  float* outputs[2] = {left_ ? left_ + offset : nullptr, right_ ? right_ + offset : nullptr};
  effect_->processReplacing(effect_, inputs, outputs, static_cast<VstInt32>(frames));
  // The transport moves on while it rolls, as a host's would between blocks.
  if (speed_ != 0.0) {
    time_.samplePos += frames;
    if (haveBeats_ && (time_.flags & kVstTempoValid)) {
      time_.ppqPos += frames * speed_ * time_.tempo / 60.0 / sampleRate_;
      // No loop over bars: a host's odd time signature must not cost time here.
      const double barLength = beatsPerBar_ * 4.0 / beatUnit_;
      const double bars = std::floor(time_.ppqPos / barLength);
      if (std::isfinite(bars)) time_.barStartPos = bars * barLength;
    }
  } else if (!(time_.flags & kVstTransportPlaying) && !haveBeats_) {
    time_.samplePos += frames;
  }
}

void Lv2Plugin::Run(uint32_t frames) {
  ApplyControlPorts();
  const LV2_Atom_Event* event = nullptr;
  const LV2_Atom_Event* end = nullptr;
  if (events_ && events_->atom.type == urids_.atomSequence && events_->atom.size >= sizeof(LV2_Atom_Sequence_Body)) {
    event = lv2_atom_sequence_begin(&events_->body);
    end = reinterpret_cast<const LV2_Atom_Event*>(reinterpret_cast<const uint8_t*>(&events_->body) +
                                                  events_->atom.size);
  }
  const int64_t lastFrame = frames > 0 ? frames - 1 : 0;
  uint32_t start = 0;
  do {
    uint32_t stop = std::min<uint32_t>(frames, start + static_cast<uint32_t>(blockSize_));
    for (; event && event < end; event = lv2_atom_sequence_next(event)) {
      // An event that claims more bytes than the sequence holds ends it.
      const auto room = reinterpret_cast<const uint8_t*>(end) - reinterpret_cast<const uint8_t*>(event);
      if (room < static_cast<std::ptrdiff_t>(sizeof(LV2_Atom_Event)) ||
          event->body.size > static_cast<std::size_t>(room) - sizeof(LV2_Atom_Event)) {
        event = end;
        break;
      }
      // Frames outside the block (or before the slice, from an unsorted host) are held to it.
      const int64_t at = std::clamp<int64_t>(event->time.frames, start, lastFrame);
      if (frames > 0 && at >= stop) break;
      const LV2_Atom& body = event->body;
      if (body.type == urids_.atomObject || body.type == urids_.atomBlank) {
        const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&body);
        if (body.size < sizeof(LV2_Atom_Object_Body) || object->body.otype != urids_.timePosition) continue;
        // A tempo change starts a slice of its own.
        if (at > start) {
          stop = static_cast<uint32_t>(at);
          break;
        }
        ReadPosition(object);
      } else if (body.type == urids_.midiEvent && body.size > 0) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&body + 1);
        if (list_.numEvents == 2 * kEventCapacity || midiCount_ == kEventCapacity || sysexCount_ == kEventCapacity) {
          FlushEvents();
        }
        const VstInt32 delta = static_cast<VstInt32>(at - start);
        if (bytes[0] == 0xF0) {
          VstMidiSysexEvent& e = sysex_[sysexCount_++];
          e = {};
          e.type = kVstSysExType;
          e.byteSize = sizeof(VstMidiSysexEvent);
          e.deltaFrames = delta;
          e.dumpBytes = static_cast<VstInt32>(body.size);
          e.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(bytes));
          list_.events[list_.numEvents++] = reinterpret_cast<VstEvent*>(&e);
        } else if (bytes[0] >= 0x80 && bytes[0] < 0xF0) {
          VstMidiEvent& e = midi_[midiCount_++];
          e = {};
          e.type = kVstMidiType;
          e.byteSize = sizeof(VstMidiEvent);
          e.deltaFrames = delta;
          for (uint32_t b = 0; b < 3 && b < body.size; ++b) e.midiData[b] = static_cast<char>(bytes[b]);
          list_.events[list_.numEvents++] = reinterpret_cast<VstEvent*>(&e);
        }
      }
    }
    FlushEvents();
    if (stop > start) RenderSlice(start, stop - start);
    start = stop;
  } while (start < frames);
}

}  // namespace tessaron::lv2
