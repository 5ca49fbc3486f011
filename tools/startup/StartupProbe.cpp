// tessaron-startup-probe [MODULE]: loads the module into this fresh process, starts its
// first instance and prints "<load ms> <first instance ms>". The first instance pays for
// every one-time, process-wide table.
#include <chrono>
#include <cstdio>
#include <string>

#include "tools/startup/StartupHost.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const char* path = argc > 1 ? argv[1] : TESSARON_DEFAULT_MODULE;
  const auto start = Clock::now();
  std::string error;
  const tessaron::startup::EntryPoint entry = tessaron::startup::LoadModule(path, error);
  if (!entry) {
    std::fprintf(stderr, "%s: %s\n", path, error.c_str());
    return 2;
  }
  const auto loaded = Clock::now();
  tessaron::vst::AEffect* effect = tessaron::startup::OpenInstance(entry);
  const auto opened = Clock::now();
  if (!effect) {
    std::fprintf(stderr, "%s: the entry point built no instance\n", path);
    return 3;
  }
  tessaron::startup::CloseInstance(effect);
  const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  std::printf("%.3f %.3f\n", ms(loaded - start), ms(opened - loaded));
  return 0;
}
