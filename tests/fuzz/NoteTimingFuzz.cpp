// Host block sizes and note times from arbitrary bytes: every note must start to sound
// within one control block of the sample it was sent for, whatever the blocks around it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzInstance.h"
#include "tests/support/NoteTiming.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tessaron;
  if (size < 4) return 0;
  fuzz::ScratchFolder();
  // Up to three notes, each from two bytes; the rest gives the block sizes in turn.
  const std::size_t noteBytes = std::min<std::size_t>(6, size / 2 / 2 * 2);
  std::vector<test::TimedNote> notes;
  int64_t at = 0;
  for (std::size_t i = 0; i + 1 < noteBytes; i += 2) {
    at += test::NoteTimingPlayer::kSpacing + ((data[i] << 8 | data[i + 1]) & 0x1FFF);
    notes.push_back({at, uint8_t(48 + data[i + 1] % 36)});
  }
  std::vector<int32_t> sizes;
  for (std::size_t i = noteBytes; i + 1 < size && sizes.size() < 256; i += 2) {
    sizes.push_back(1 + ((data[i] << 8 | data[i + 1]) & 0x1FFF));
  }
  if (sizes.empty()) return 0;
  // Very short blocks all the way would take long per input; a long block follows each run of them.
  sizes.push_back(8192);

  std::unique_ptr<Tessaron> instrument(new Tessaron(nullptr));
  vst::AEffect* effect = instrument->GetAEffect();
  effect->dispatcher(effect, vst::effOpen, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  effect->dispatcher(effect, vst::effSetBlockSize, 0, 8192, nullptr, 0.0f);
  effect->dispatcher(effect, vst::effMainsChanged, 0, 1, nullptr, 0.0f);
  test::NoteTimingPlayer player(effect);
  player.PreparePatch();
  const std::string fault = player.Play(notes, sizes);
  if (!fault.empty()) {
    std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  effect->dispatcher(effect, vst::effMainsChanged, 0, 0, nullptr, 0.0f);
  return 0;
}
