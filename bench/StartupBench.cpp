// Start-up: the factory bank read and parsed as a starting instance does it; an instance
// built through the entry point, opened, resumed and closed in a warm process; and the
// first instance of a fresh process, which also builds every one-time table. Wall-clock
// milliseconds. The fresh-process case runs tessaron-startup-probe once per iteration,
// so its time is measured inside the child and its maximum is reported beside the mean.
// The dynamic loader's share (the module and the libraries it links) is shown apart.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/startup/StartupHost.h"
#include "host/PluginFactory.h"
#include "shell/Synth.h"

extern char** environ;

namespace {

using namespace tessaron;

// A user without a configuration yet (so no start-up bank file), in a folder of our own:
// no real user's files are read or written, here or in the probe's processes.
struct FreshUser {
  FreshUser() {
    char pattern[] = "/tmp/tessaron-startup-XXXXXX";
    if (!mkdtemp(pattern)) return;
    home = pattern;
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  }
  ~FreshUser() {
    std::error_code ignored;
    if (!home.empty()) std::filesystem::remove_all(home, ignored);
  }
  std::string home;
};
const FreshUser kUser;

const char* ModulePath() {
  const char* path = std::getenv("TESSARON_MODULE");
  return path && *path ? path : TESSARON_MODULE_PATH;
}

startup::EntryPoint Entry(benchmark::State& state) {
  static std::string error;
  static const startup::EntryPoint entry = startup::LoadModule(ModulePath(), error);
  if (!entry) state.SkipWithError(error.c_str());
  return entry;
}

void FactoryBank(benchmark::State& state) {
  IPluginVst* plug = CreateInstrument(&startup::HostCallback);
  auto* synth = dynamic_cast<Synth*>(plug);
  for (auto _ : state) {
    if (!synth || !synth->LoadFactoryBank()) {
      state.SkipWithError("the factory bank did not load");
      break;
    }
  }
  if (plug) plug->GetAEffect()->dispatcher(plug->GetAEffect(), vst::effClose, 0, 0, nullptr, 0.0f);
}
BENCHMARK(FactoryBank)->Name("Startup/factory-bank")->Unit(benchmark::kMillisecond)->UseRealTime();

// Alone, nothing is left from an earlier instance but the one-time tables; beside another
// instance at the same rate, whatever instances share is already there.
void WarmInstance(benchmark::State& state, bool besideAnother) {
  const startup::EntryPoint entry = Entry(state);
  if (!entry) return;
  vst::AEffect* other = startup::OpenInstance(entry);  // also builds the one-time tables
  if (!other) {
    state.SkipWithError("the entry point built no instance");
    return;
  }
  if (!besideAnother) startup::CloseInstance(other);
  for (auto _ : state) {
    vst::AEffect* effect = startup::OpenInstance(entry);
    if (!effect) {
      state.SkipWithError("the entry point built no instance");
      break;
    }
    startup::CloseInstance(effect);
  }
  if (besideAnother) startup::CloseInstance(other);
}
BENCHMARK_CAPTURE(WarmInstance, alone, false)
    ->Name("Startup/instance/warm")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(WarmInstance, beside, true)
    ->Name("Startup/instance/beside-another")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One probe run: its load and first-instance times in ms, or false with the reason.
bool RunProbe(double& loadMs, double& firstMs, std::string& error) {
  const std::string probe = TESSARON_STARTUP_PROBE;
  int out[2];
  if (pipe(out) != 0) {
    error = "no pipe for the probe";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, out[1]);
  std::string program = probe, module = ModulePath();
  char* argv[] = {program.data(), module.data(), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, probe.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) != 0;) {
    if (n > 0) {
      text.append(buffer, size_t(n));
    } else if (errno != EINTR) {
      break;
    }
  }
  close(out[0]);
  if (spawned != 0) {
    error = "cannot run " + probe;
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = probe + " failed";
    return false;
  }
  if (std::sscanf(text.c_str(), "%lf %lf", &loadMs, &firstMs) != 2) {
    error = probe + " printed: " + text;
    return false;
  }
  return true;
}

void FreshProcess(benchmark::State& state) {
  double worst = 0.0, loadSum = 0.0;
  std::string error;
  for (auto _ : state) {
    double loadMs = 0.0, firstMs = 0.0;
    if (!RunProbe(loadMs, firstMs, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    state.SetIterationTime(firstMs / 1000.0);
    worst = std::max(worst, firstMs);
    loadSum += loadMs;
  }
  // A label, not counters: every row of the CSV table must carry the same counters.
  if (state.iterations() > 0) {
    char label[96];
    std::snprintf(label, sizeof label, "max %.1f ms; loading the module %.1f ms", worst,
                  loadSum / double(state.iterations()));
    state.SetLabel(label);
  }
}
BENCHMARK(FreshProcess)
    ->Name("Startup/instance/fresh-process")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(20);

}  // namespace
