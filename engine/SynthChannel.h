#pragma once
// One of the Synth section's six channels (keys by note number modulo 6): a
// ladder filter, an envelope, the gate and the two filter settings the render
// loop combines into the cutoff control.
//
// Threading: Reset and SetParam run in the reset and the parameter-change
// operation, everything else in the render loop; all under the instrument's
// lock.
#include <cstdint>

#include "dsp/Vcf.h"
#include "engine/Envelope.h"
#include "engine/ParameterIds.h"

namespace tessaron {

struct SynthChannel {
  SynthChannel() = default;
  // The filter reads tables the owner keeps built for the rate in use.
  explicit SynthChannel(const VcfTables& tables) : vcf(tables) {}
  // The filter also keeps its per-sample values in lane `lane` of a set
  // shared with the channel's partner, so that the two run as a pair.
  SynthChannel(const VcfTables& tables, VcfLanes& lanes, int lane) : vcf(tables, lanes, lane) {}

  Vcf vcf;                 // built for 44100 Hz
  Envelope envelope;       // clocked per sample after the first Reset
  bool gate = false;       // set by a note-on of the channel, cleared once the envelope is idle
  double cutoff = 0.0;     // "VCF: Cutoff" real value
  double envAmount = 0.0;  // "VCF: Envelope" real value

  // Instrument reset for sample rate fs: closes the gate, clears the filter,
  // and restores the envelope's reset settings before the parameters are
  // applied again.
  void Reset(double fs);

  // Applies one of the channel's parameters (kVcfCutoff..kEnvRelease) with real
  // value v; other ids are ignored.
  void SetParam(int32_t index, double v);

  double Process(double x, double control) { return vcf.Process(x, control); }
};

}  // namespace tessaron
