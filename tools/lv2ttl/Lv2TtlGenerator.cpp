// Writes the LV2 bundle's description from the parameter table and the factory bank:
//   tessaron-lv2ttl <bundle folder> <binary file name> [--with-ui]
// manifest.ttl (the plug-in, its presets and, with --with-ui, its UI), tessaron.ttl (the
// ports) and presets.ttl (the 64 factory programs as port values).
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/IPluginVst.h"
#include "host/PluginFactory.h"
#include "host/ProgramFiles.h"
#include "instrument/ParameterTable.h"
#include "lv2/Lv2Instance.h"
#include "platform/Resources.h"

namespace {

using namespace tessaron;

const std::string kPlugin = std::string("<") + lv2::kPluginUri + ">";

const char* const kPrefixes =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time:  <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n\n";

// Locale-independent, shortest round trip, always with a decimal point (a Turtle decimal).
std::string Decimal(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed);
  std::string s(text, result.ptr);
  if (s.find('.') == std::string::npos) s += ".0";
  return s;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Lower case letters, digits and single underscores; never a leading digit; unique.
std::vector<std::string> Symbols() {
  std::vector<std::string> symbols;
  std::set<std::string> taken;
  for (int i = 0; i < kParameterCount; ++i) {
    std::string s;
    for (const char* p = ParameterRow(i).name; *p; ++p) {
      const char c = *p;
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        s += c;
      } else if (c >= 'A' && c <= 'Z') {
        s += static_cast<char>(c - 'A' + 'a');
      } else if (!s.empty() && s.back() != '_') {
        s += '_';
      }
    }
    while (!s.empty() && s.back() == '_') s.pop_back();
    if (s.empty() || (s[0] >= '0' && s[0] <= '9')) s = "p_" + s;
    std::string unique = s;
    for (int n = 2; taken.count(unique); ++n) unique = s + "_" + std::to_string(n);
    taken.insert(unique);
    symbols.push_back(unique);
  }
  return symbols;
}

// The unit of the port's own value. Levels are gains (their display in dB is a view of
// the value, not its unit); the cutoff and the balances are plain 0..1 settings.
const char* UnitOf(int index) {
  switch (index) {
    case kBendRange:
    case kOsc1Fine:
    case kOsc2Coarse:
    case kMasterTune: return "units:semitone12TET";
    case kModSpeed:
    case kPhaserSpeed:
    case kEnsembleSpeed1:
    case kEnsembleSpeed2:
    case kDelayVibeSpeed: return "units:hz";
    case kModDelay: return "units:s";
    case kSyncResetPhase: return "units:degree";
    case kSynthLevel:
    case kOrganLevel:
    case kStringLevel:
    case kMasterLevel: return "units:coef";
    default: return nullptr;
  }
}

bool IsSwitch(const ParamRow& row) {
  return row.texts && row.count == 2 && std::strcmp(row.texts[0], "Off") == 0 && std::strcmp(row.texts[1], "On") == 0;
}

std::string PluginDescription(const std::vector<std::string>& symbols) {
  std::ostringstream out;
  out << kPrefixes;
  out << "<" << lv2::kPluginUri << "#out>\n"
      << "    a pg:StereoGroup , pg:OutputGroup ;\n"
      << "    lv2:symbol \"out\" ;\n"
      << "    rdfs:label \"Output\" .\n\n";
  // The maker belongs to the project; the schemas give doap:maintainer no plug-in subject.
  out << "<" << lv2::kPluginUri << "#project>\n"
      << "    a doap:Project ;\n"
      << "    doap:name \"Tessaron\" ;\n"
      << "    doap:maintainer [ a foaf:Person ; foaf:name \"Grey Lantern Labs\" ; foaf:homepage "
         "<http://www.greylanternlabs.com/> ] .\n\n";
  out << kPlugin << "\n"
      << "    a lv2:Plugin , lv2:InstrumentPlugin ;\n"
      << "    doap:name \"Tessaron\" ;\n"
      << "    lv2:project <" << lv2::kPluginUri << "#project> ;\n"
      << "    rdfs:comment \"A paraphonic synthesizer: Synth, Organ and String sections over divide-down "
         "oscillators, with phaser and tempo-synced delay.\" ;\n"
      << "    lv2:requiredFeature urid:map ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , opts:options ;\n"
      << "    opts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength ;\n"
      << "    lv2:extensionData state:interface ;\n"
      << "    pg:mainOutput <" << lv2::kPluginUri << "#out> ;\n"
      << "    lv2:port\n";
  for (int i = 0; i < kParameterCount; ++i) {
    const ParamRow& row = ParameterRow(i);
    out << "    [\n"
        << "        a lv2:InputPort , lv2:ControlPort ;\n"
        << "        lv2:index " << i << " ;\n"
        << "        lv2:symbol \"" << symbols[i] << "\" ;\n"
        << "        lv2:name " << Quoted(row.name) << " ;\n"
        << "        lv2:default " << Decimal(row.defaultValue) << " ;\n"
        << "        lv2:minimum " << Decimal(row.min) << " ;\n"
        << "        lv2:maximum " << Decimal(row.max);
    if (row.texts) {
      out << " ;\n        lv2:portProperty lv2:integer , " << (IsSwitch(row) ? "lv2:toggled" : "lv2:enumeration");
      out << " ;\n        lv2:scalePoint";
      for (int t = 0; t < row.count; ++t) {
        out << (t ? " ,\n            " : " ") << "[ rdfs:label " << Quoted(row.texts[t]) << " ; rdf:value "
            << Decimal(t) << " ]";
      }
    }
    if (const char* unit = UnitOf(i)) out << " ;\n        units:unit " << unit;
    out << "\n    ] ,\n";
  }
  out << "    [\n"
      << "        a lv2:OutputPort , lv2:AudioPort ;\n"
      << "        lv2:index " << lv2::kLeftOutPort << " ;\n"
      << "        lv2:symbol \"out_left\" ;\n"
      << "        lv2:name \"Left\" ;\n"
      << "        pg:group <" << lv2::kPluginUri << "#out> ;\n"
      << "        lv2:designation pg:left\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort , lv2:AudioPort ;\n"
      << "        lv2:index " << lv2::kRightOutPort << " ;\n"
      << "        lv2:symbol \"out_right\" ;\n"
      << "        lv2:name \"Right\" ;\n"
      << "        pg:group <" << lv2::kPluginUri << "#out> ;\n"
      << "        lv2:designation pg:right\n"
      << "    ] , [\n"
      << "        a lv2:InputPort , atom:AtomPort ;\n"
      << "        lv2:index " << lv2::kEventsInPort << " ;\n"
      << "        lv2:symbol \"events_in\" ;\n"
      << "        lv2:name \"Events In\" ;\n"
      << "        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports midi:MidiEvent , time:Position ;\n"
      << "        lv2:designation lv2:control\n"
      << "    ] .\n";
  return out.str();
}

std::string PresetUri(int program) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02d", program + 1);
  return std::string("<") + lv2::kPluginUri + "#preset" + text + ">";
}

struct Program {
  std::string name;
  std::vector<double> values;
};

std::string PresetsDescription(const std::vector<Program>& programs, const std::vector<std::string>& symbols) {
  std::ostringstream out;
  out << kPrefixes;
  for (std::size_t p = 0; p < programs.size(); ++p) {
    out << PresetUri(static_cast<int>(p)) << "\n"
        << "    a pset:Preset ;\n"
        << "    lv2:appliesTo " << kPlugin << " ;\n"
        << "    rdfs:label " << Quoted(programs[p].name) << " ;\n"
        << "    lv2:port";
    for (int i = 0; i < kParameterCount; ++i) {
      out << (i ? " ,\n        " : " ") << "[ lv2:symbol \"" << symbols[i] << "\" ; pset:value "
          << Decimal(programs[p].values[i]) << " ]";
    }
    out << " .\n\n";
  }
  return out.str();
}

// The UI's entry: the one place that says what the editor needs from its host.
std::string UiDescription(const std::string& binary) {
  std::ostringstream out;
  out << "<" << lv2::kUiUri << ">\n"
      << "    a ui:X11UI ;\n"
      << "    ui:binary <" << binary << "> ;\n"
      << "    lv2:requiredFeature ui:idleInterface ;\n"
      << "    lv2:extensionData ui:idleInterface ;\n"
      << "    lv2:optionalFeature ui:parent , ui:resize , <http://lv2plug.in/ns/ext/instance-access> .\n\n";
  return out.str();
}

std::string Manifest(const std::string& binary, bool withUi, int programCount) {
  std::ostringstream out;
  out << kPrefixes;
  out << kPlugin << "\n"
      << "    a lv2:Plugin , lv2:InstrumentPlugin ;\n"
      << "    lv2:binary <" << binary << "> ;\n";
  if (withUi) out << "    ui:ui <" << lv2::kUiUri << "> ;\n";
  out << "    rdfs:seeAlso <tessaron.ttl> .\n\n";
  if (withUi) out << UiDescription(binary);
  for (int p = 0; p < programCount; ++p) {
    out << PresetUri(p) << "\n"
        << "    a pset:Preset ;\n"
        << "    lv2:appliesTo " << kPlugin << " ;\n"
        << "    rdfs:seeAlso <presets.ttl> .\n\n";
  }
  return out.str();
}

// The factory bank as the instrument reads it, whatever bank a configuration names.
bool ReadFactoryPrograms(std::vector<Program>& programs) {
  std::unique_ptr<IPluginVst> plug(CreateInstrument(nullptr));
  if (!plug) return false;
  const platform::ResourceData image = platform::FindResourceData("INIT", "PROGINIT");
  if (!image || !ParseBankImage(*plug, image.data, image.size)) return false;
  for (int p = 0; p < plug->NPrograms(); ++p) {
    if (!plug->SelectProgram(p)) return false;
    Program program{plug->ProgramName(p), {}};
    for (int i = 0; i < kParameterCount; ++i) program.values.push_back(plug->GetParam(i)->Value());
    programs.push_back(std::move(program));
  }
  return true;
}

bool Write(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) std::cerr << "tessaron-lv2ttl: cannot write " << path << "\n";
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[3], "--with-ui") != 0)) {
    std::cerr << "usage: tessaron-lv2ttl <bundle folder> <binary file name> [--with-ui]\n";
    return 2;
  }
  const std::string bundle = argv[1];
  const std::string binary = argv[2];
  const bool withUi = argc == 4;
  std::vector<Program> programs;
  if (!ReadFactoryPrograms(programs)) {
    std::cerr << "tessaron-lv2ttl: the factory bank cannot be read\n";
    return 1;
  }
  const std::vector<std::string> symbols = Symbols();
  const bool ok = Write(bundle + "/tessaron.ttl", PluginDescription(symbols)) &&
                  Write(bundle + "/presets.ttl", PresetsDescription(programs, symbols)) &&
                  Write(bundle + "/manifest.ttl", Manifest(binary, withUi, static_cast<int>(programs.size())));
  return ok ? 0 : 1;
}
