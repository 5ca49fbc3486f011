// 32-bit Windows hosts built with other compilers call a plug-in with the stack aligned to
// 4 bytes only, while SSE code keeps 16-byte values on it. Every entry of the module is
// called here on stacks 0, 4, 8 and 12 bytes off 16-byte alignment; each must run and
// render exactly what the aligned calls render.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/support/TestHost.h"

#if defined(__i386__)

// Calls function(args...) (cdecl) with the stack pointer `offset` bytes below a 16-byte
// boundary at the call instruction.
extern "C" intptr_t CallWithStackOffset(const void* function, const intptr_t* args, int count, int offset);
// The stack pointer as the called function finds it: at its return address.
extern "C" intptr_t StackAtEntry();
asm(R"(
  .text
  .globl _StackAtEntry
_StackAtEntry:
  movl %esp, %eax
  ret
  .globl _CallWithStackOffset
_CallWithStackOffset:
  pushl %ebp
  movl %esp, %ebp
  pushl %esi
  pushl %edi
  movl 12(%ebp), %esi
  movl 16(%ebp), %ecx
  leal 0(,%ecx,4), %edx
  movl %esp, %eax
  subl %edx, %eax
  subl $16, %eax
  andl $-16, %eax
  subl 20(%ebp), %eax
  movl %eax, %esp
  movl %esp, %edi
  cld
  rep movsl
  call *8(%ebp)
  leal -8(%ebp), %esp
  popl %edi
  popl %esi
  popl %ebp
  ret
)");

namespace tessaron::test {
namespace {

vst::VstIntPtr TESSARON_VSTCALL MinimalHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void*,
                                            float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

intptr_t FloatBits(float value) {
  int32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

class OffsetCaller {
 public:
  explicit OffsetCaller(int offset) : offset_(offset) {}
  template <typename... Args>
  intptr_t operator()(const void* function, Args... args) const {
    const intptr_t values[] = {static_cast<intptr_t>(args)..., 0};
    return CallWithStackOffset(function, values, static_cast<int>(sizeof...(Args)), offset_);
  }
  intptr_t Dispatch(vst::AEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) const {
    return (*this)(reinterpret_cast<const void*>(effect->dispatcher), reinterpret_cast<intptr_t>(effect), opcode, index,
                   value, reinterpret_cast<intptr_t>(ptr), FloatBits(opt));
  }

 private:
  int offset_;
};

// One instance's life through every entry: made, opened, a chord played with a parameter
// moved, rendered in both precisions, its state read, closed. Returns what it rendered.
std::vector<float> Life(const OffsetCaller& call) {
  std::vector<float> rendered;
  auto* effect = reinterpret_cast<vst::AEffect*>(
      call(reinterpret_cast<const void*>(LoadedModule::Get().Entry()), reinterpret_cast<intptr_t>(&MinimalHost)));
  EXPECT_NE(effect, nullptr);
  if (!effect) return rendered;
  call.Dispatch(effect, vst::effOpen);
  call.Dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  call.Dispatch(effect, vst::effSetBlockSize, 0, 256);
  call.Dispatch(effect, vst::effMainsChanged, 0, 1);
  call(reinterpret_cast<const void*>(effect->setParameter), reinterpret_cast<intptr_t>(effect), 0, FloatBits(0.7f));

  vst::VstMidiEvent notes[3] = {};
  struct {
    vst::VstEvents head;
    vst::VstEvent* more[1];
  } list{};
  list.head.numEvents = 3;
  for (int i = 0; i < 3; ++i) {
    notes[i].type = vst::kVstMidiType;
    notes[i].byteSize = sizeof(vst::VstMidiEvent);
    notes[i].deltaFrames = 10 * i;
    notes[i].midiData[0] = static_cast<char>(0x90);
    notes[i].midiData[1] = static_cast<char>(60 + 4 * i);
    notes[i].midiData[2] = 100;
  }
  list.head.events[0] = reinterpret_cast<vst::VstEvent*>(&notes[0]);
  list.head.events[1] = reinterpret_cast<vst::VstEvent*>(&notes[1]);
  list.more[0] = reinterpret_cast<vst::VstEvent*>(&notes[2]);
  call.Dispatch(effect, vst::effProcessEvents, 0, 0, &list.head);

  std::vector<float> left(256), right(256);
  std::vector<double> leftD(256), rightD(256);
  float* outputs[2] = {left.data(), right.data()};
  double* outputsD[2] = {leftD.data(), rightD.data()};
  for (int block = 0; block < 8; ++block) {
    call(reinterpret_cast<const void*>(effect->processReplacing), reinterpret_cast<intptr_t>(effect), 0,
         reinterpret_cast<intptr_t>(outputs), 256);
    rendered.insert(rendered.end(), left.begin(), left.end());
    rendered.insert(rendered.end(), right.begin(), right.end());
    call(reinterpret_cast<const void*>(effect->processDoubleReplacing), reinterpret_cast<intptr_t>(effect), 0,
         reinterpret_cast<intptr_t>(outputsD), 256);
    for (double v : leftD) rendered.push_back(static_cast<float>(v));
  }
  void* chunk = nullptr;
  EXPECT_GT(call.Dispatch(effect, vst::effGetChunk, 0, 0, &chunk), 0);
  call.Dispatch(effect, vst::effMainsChanged, 0, 0);
  call.Dispatch(effect, vst::effClose);
  return rendered;
}

TEST(ThirtyTwoBitHost, EveryEntryRunsOnAStackAlignedToFourBytesOnly) {
  ASSERT_NE(LoadedModule::Get().Entry(), nullptr) << LoadedModule::Get().Error();
  for (int offset : {0, 4, 8, 12})
    ASSERT_EQ((OffsetCaller(offset)(reinterpret_cast<const void*>(&StackAtEntry)) + 4) % 16, (16 - offset) % 16);
  const std::vector<float> aligned = Life(OffsetCaller(0));
  double energy = 0.0;
  for (float v : aligned) {
    ASSERT_TRUE(std::isfinite(v));
    energy += double(v) * v;
  }
  ASSERT_GT(energy, 1e-3) << "the chord was not heard";
  for (int offset : {4, 8, 12}) EXPECT_EQ(Life(OffsetCaller(offset)), aligned) << "stack " << offset << " bytes off";
}

}  // namespace
}  // namespace tessaron::test

#endif
