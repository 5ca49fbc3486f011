// A tiny VST 2 instrument for testing the renderer. It writes a log of every
// host call it sees and plays an impulse (velocity / 127) on the left channel
// at the exact sample of each note-on, with a steady tone on the right.
// TESSARON_FAKE_LOG names the log file; TESSARON_FAKE_MODE may be "null"
// (the entry point refuses), "badmagic", "float" (no double-precision call),
// "nan" (the right channel's first ten samples are not numbers), "loud" (the tone
// at four times full scale) or "faint" (the tone far below anything audible).
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "host/VstAbi.h"

using namespace tessaron::vst;

namespace {

constexpr int kPrograms = 3;
constexpr int kParams = 4;
const char* const kProgramNames[kPrograms] = {"Init", "Warm Pad", "Bass Line"};

struct Pending {
  int delta;
  unsigned char bytes[3];
};

struct Fake {
  AEffect effect{};
  AudioMasterCallback host = nullptr;
  FILE* log = nullptr;
  int program = 0;
  float params[kParams] = {};
  bool emitNaN = false;
  double toneLevel = 0.25;
  double rate = 44100.0;
  long long position = 0;
  std::vector<Pending> pending;
};

Fake* Of(AEffect* e) { return static_cast<Fake*>(e->object); }

void Log(Fake* f, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Log(Fake* f, const char* format, ...) {
  if (!f->log) {
    return;
  }
  va_list args;
  va_start(args, format);
  std::vfprintf(f->log, format, args);
  va_end(args);
  std::fputc('\n', f->log);
}

void AskTime(Fake* f) {
  auto* t = reinterpret_cast<VstTimeInfo*>(f->host(&f->effect, audioMasterGetTime, 0, 0, nullptr, 0.0f));
  if (t) {
    Log(f, "time %.0f %.3f %.4f %.4f %d/%d %d", t->samplePos, t->tempo, t->ppqPos, t->barStartPos, t->timeSigNumerator,
        t->timeSigDenominator, t->flags);
  }
}

template <typename T>
void Render(Fake* f, T** outputs, VstInt32 frames, const char* kind) {
  Log(f, "process %s %lld %d", kind, f->position, frames);
  AskTime(f);
  for (VstInt32 i = 0; i < frames; ++i) {
    outputs[0][i] = 0;
    const double phase = 2.0 * std::numbers::pi * 1000.0 * static_cast<double>(f->position + i) / f->rate;
    outputs[1][i] = static_cast<T>(f->toneLevel * std::sin(phase));
    if (f->emitNaN && f->position + i < 10) {
      outputs[1][i] = std::numeric_limits<T>::quiet_NaN();
    }
  }
  for (const Pending& p : f->pending) {
    if (p.delta < 0 || p.delta >= frames) {
      Log(f, "misplaced %d", p.delta);
      continue;
    }
    Log(f, "event %lld %d %d %d", f->position + p.delta, p.bytes[0], p.bytes[1], p.bytes[2]);
    if ((p.bytes[0] & 0xF0) == 0x90 && p.bytes[2] > 0) {
      outputs[0][p.delta] = static_cast<T>(p.bytes[2] / 127.0);
    }
  }
  f->pending.clear();
  f->position += frames;
}

void ProcessFloat(AEffect* e, float**, float** outputs, VstInt32 frames) { Render(Of(e), outputs, frames, "float"); }
void ProcessDouble(AEffect* e, double**, double** outputs, VstInt32 frames) {
  Render(Of(e), outputs, frames, "double");
}
void SetParameter(AEffect* e, VstInt32 index, float value) {
  Log(Of(e), "param %d %.4f", index, value);
  if (index >= 0 && index < kParams) {
    Of(e)->params[index] = value;
  }
}
float GetParameter(AEffect* e, VstInt32 index) { return index >= 0 && index < kParams ? Of(e)->params[index] : 0.0f; }

VstIntPtr Dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  Fake* f = Of(e);
  switch (opcode) {
    case effOpen: {
      char product[64] = {};
      f->host(e, audioMasterGetProductString, 0, 0, product, 0.0f);
      Log(f, "open level %ld product %s",
          static_cast<long>(f->host(e, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f)), product);
      return 0;
    }
    case effClose:
      Log(f, "close");
      if (f->log) {
        std::fclose(f->log);
      }
      delete f;
      return 0;
    case effSetSampleRate:
      f->rate = opt;
      Log(f, "rate %.0f", opt);
      return 0;
    case effSetBlockSize: Log(f, "block %ld", static_cast<long>(value)); return 0;
    case effMainsChanged: Log(f, "mains %ld", static_cast<long>(value)); return 0;
    case effSetProgram:
      f->program = static_cast<int>(value);
      Log(f, "program %d", f->program);
      return 0;
    case effGetProgram: return f->program;
    case effGetProgramNameIndexed:
      if (index < 0 || index >= kPrograms) {
        return 0;
      }
      std::strcpy(static_cast<char*>(ptr), kProgramNames[index]);
      return 1;
    case effProcessEvents: {
      auto* list = static_cast<VstEvents*>(ptr);
      VstEvent** entries = list->events;  // numEvents long, whatever the declared size
      for (VstInt32 i = 0; i < list->numEvents; ++i) {
        auto* m = reinterpret_cast<VstMidiEvent*>(entries[i]);
        if (m->type != kVstMidiType || m->byteSize != static_cast<VstInt32>(sizeof(VstMidiEvent))) {
          Log(f, "bad event");
          continue;
        }
        f->pending.push_back({m->deltaFrames,
                              {static_cast<unsigned char>(m->midiData[0]), static_cast<unsigned char>(m->midiData[1]),
                               static_cast<unsigned char>(m->midiData[2])}});
      }
      return 1;
    }
    default: return 0;
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(AudioMasterCallback host) {
  const char* mode = std::getenv("TESSARON_FAKE_MODE");
  const std::string m = mode ? mode : "";
  if (m == "null") {
    return nullptr;
  }
  // A host never calls a record with a wrong magic number again, so nothing could free it.
  static Fake unclaimed;
  auto* f = m == "badmagic" ? &unclaimed : new Fake;
  f->host = host;
  f->emitNaN = m == "nan";
  f->toneLevel = m == "loud" ? 4.0 : m == "faint" ? 1e-13 : 0.25;
  if (const char* path = std::getenv("TESSARON_FAKE_LOG")) {
    f->log = std::fopen(path, "w");
  }
  Log(f, "version %ld", static_cast<long>(host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f)));
  AEffect& e = f->effect;
  e.magic = m == "badmagic" ? FourCC('N', 'o', 'p', 'e') : kEffectMagic;
  e.dispatcher = Dispatcher;
  e.setParameter = SetParameter;
  e.getParameter = GetParameter;
  e.numPrograms = kPrograms;
  e.numParams = kParams;
  e.numInputs = 0;
  e.numOutputs = 2;
  e.flags = effFlagsCanReplacing | effFlagsIsSynth | (m == "float" ? 0 : effFlagsCanDoubleReplacing);
  e.object = f;
  e.uniqueID = FourCC('F', 'a', 'k', 'e');
  e.processReplacing = ProcessFloat;
  e.processDoubleReplacing = ProcessDouble;
  return &e;
}
