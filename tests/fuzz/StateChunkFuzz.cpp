// Feeds arbitrary bytes to the state chunk readers, as a host's set-chunk call
// would: the chunk header, a whole bank and a single program state.
#include <cstddef>
#include <cstdint>

#include "host/ChunkBuffer.h"
#include "tests/fuzz/FuzzInstance.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tessaron;
  Tessaron& t = fuzz::Instance();
  ChunkBuffer chunk;
  chunk.Assign(data, size);
  int pos = 0;
  IPluginBase::ReadChunkHeader(chunk, pos);
  const int after = t.UnserializePresets(chunk, pos);
  if (after > chunk.Size()) std::abort();
  fuzz::CheckInvariants(t);
  const int stateEnd = t.ReadState(chunk, pos < 0 ? 0 : pos);
  if (stateEnd > chunk.Size()) std::abort();
  fuzz::CheckInvariants(t);
  return 0;
}
