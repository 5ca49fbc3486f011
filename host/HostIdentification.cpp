#include "host/HostIdentification.h"

namespace tessaron {
namespace {

struct ProductEntry {
  const char* substring;
  int kind;
};

// Order matters: a product string containing two entries is decided by the earlier one.
constexpr ProductEntry kProducts[] = {
    {"cubase", kHostCubase},
    {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"samplitude", kHostSamplitude},
    {"fruity", kHostFL},
    {"live", kHostLive},
    {"melodyne", kHostMelodyne},
    {"vstmanlib", kHostVstManLib},
    {"aulab", kHostAULab},
    {"garageband", kHostGarageBand},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVst3TestHost},
    {"protools", kHostProTools},
    {"ardour", kHostArdour},
    {"openmpt", kHostOpenMPT},
    {"renoise", kHostRenoise},
    {"standalone", kHostStandalone},
};

}  // namespace

std::string AsciiLower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

int ClassifyHostProduct(const std::string& productString) {
  const std::string lower = AsciiLower(productString);
  if (lower.empty()) return kHostUnknown;
  for (const ProductEntry& entry : kProducts) {
    if (lower.find(entry.substring) != std::string::npos) return entry.kind;
  }
  return kHostUnknown;
}

bool VendorWantsProgramChunks(const std::string& vendorString) {
  const std::string lower = AsciiLower(vendorString);
  return lower == "native instruments" || lower == "juce vst host";
}

bool HostLimitsToStereoInput(int hostKind) {
  return hostKind == kHostForte || hostKind == kHostAudition || hostKind == kHostOrion || hostKind == kHostSAWStudio;
}

}  // namespace tessaron
