// Feeds arbitrary file contents to the program and bank file loaders and to the
// in-memory bank image reader.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "host/ProgramFiles.h"
#include "tests/fuzz/FuzzInstance.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tessaron;
  Tessaron& t = fuzz::Instance();
  static const std::string path = fuzz::ScratchFolder() + "/input.fx";
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  LoadProgramFile(t, path);
  fuzz::CheckInvariants(t);
  LoadBankFile(t, path);
  fuzz::CheckInvariants(t);
  ParseBankImage(t, data, size);
  fuzz::CheckInvariants(t);
  return 0;
}
