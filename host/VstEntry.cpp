// The module's exported entry point: one instrument per call.
#include <algorithm>
#include <mutex>

#include "host/IPluginVst.h"
#include "host/PluginFactory.h"

#if defined(_WIN32)
#define TESSARON_EXPORT __declspec(dllexport)
#else
#define TESSARON_EXPORT __attribute__((visibility("default")))
#endif

// C++ reserves the name main for the program, so the second export gets it as a symbol name.
// On 32-bit Windows gcc would export it under its decorated name "_main"; the export
// directive is written by hand instead, undecorated like VSTPluginMain.
#if defined(_WIN32) && !defined(_WIN64)
#define TESSARON_MAIN_SYMBOL "_main"
#define TESSARON_MAIN_EXPORT
__asm__(".section .drectve\n\t.ascii \" -export:main\"\n\t.text");
#else
#define TESSARON_MAIN_SYMBOL "main"
#define TESSARON_MAIN_EXPORT TESSARON_EXPORT
#endif

using tessaron::vst::AEffect;
using tessaron::vst::AudioMasterCallback;

extern "C" TESSARON_EXPORT AEffect* TESSARON_VSTCALL VSTPluginMain(AudioMasterCallback host) {
  // Created once on first use in a thread-safe way; several host threads may build
  // instances at once.
  static std::mutex constructionLock;
  try {
    std::lock_guard<std::mutex> lock(constructionLock);
    tessaron::IPluginVst* plug = tessaron::CreateInstrument(host);
    if (!plug) return nullptr;
    plug->FillEmptyPrograms(plug->NPrograms());
    AEffect* effect = plug->GetAEffect();
    effect->numPrograms = std::max(effect->numPrograms, 1);
    return effect;
  } catch (...) {
    return nullptr;
  }
}

extern "C" TESSARON_MAIN_EXPORT AEffect* TESSARON_VSTCALL
VSTPluginMainAlias(AudioMasterCallback host) __asm__(TESSARON_MAIN_SYMBOL);

extern "C" AEffect* TESSARON_VSTCALL VSTPluginMainAlias(AudioMasterCallback host) { return VSTPluginMain(host); }
