#pragma once
// Classification of the host from the strings it reports. Pure functions; the binding
// asks the host once and caches the answers.
#include <string>

namespace tessaron {

enum HostKind : int {
  kHostUnasked = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostLive = 9,
  kHostMelodyne = 12,
  kHostVstManLib = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostSAWStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVst3TestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMPT = 30,
};

// ASCII A-Z to a-z, byte by byte.
std::string AsciiLower(const std::string& text);

// The first table substring found anywhere in the lower-cased product string decides.
int ClassifyHostProduct(const std::string& productString);

// Hosts whose chunk requests are all program requests, recognised by the whole vendor string.
bool VendorWantsProgramChunks(const std::string& vendorString);

// Hosts that take at most two connected inputs.
bool HostLimitsToStereoInput(int hostKind);

}  // namespace tessaron
