// tessaron-snapshot: draws the instrument's editor off-screen into a PNG file. It takes
// tessaron-render's options (--snapshot FILE.png [--program N|NAME] [--param I=V]
// [--tweak-open] [--quiet]) and is what `tessaron-render --snapshot` runs.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/render/Options.h"
#include "tools/render/OutputFile.h"
#include "tools/snapshot/Snapshot.h"

namespace tessaron {
namespace {

std::string programName = "tessaron-snapshot";

int Fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", programName.c_str(), message.c_str());
  return 1;
}

int FailOutput(std::string reason, OutputFile& output) {
  const int status = output.AbandonWith(reason);
  Fail(reason);
  return status;
}

int Run(const std::vector<std::string>& args) {
  RenderOptions opt;
  std::string error;
  CatchInterrupts();
  switch (ParseOptions(args, opt, error)) {
    case ParseResult::Help: std::fputs(UsageText(), stdout); return 0;
    case ParseResult::Error: return Fail(error);
    case ParseResult::Run: break;
  }
  if (opt.snapshotPath.empty()) return Fail("nothing to draw: give --snapshot FILE.png");
  SnapshotRequest request{opt.snapshotPath, opt.program, opt.programIsNumber, opt.programNumber, {}, opt.tweakOpen};
  for (const auto& p : opt.params) request.params.emplace_back(p.index, p.value);
  OutputFile output;
  if (!output.Begin(opt.snapshotPath, error)) return Fail(error);
  if (!WriteEditorSnapshot(request, output.WritePath(), error) || InterruptSignal() != 0) {
    return FailOutput(error, output);
  }
  if (!output.Commit(error)) return FailOutput(error, output);
  if (!opt.quiet) std::printf("%s: the editor, drawn off-screen\n", opt.snapshotPath.c_str());
  return 0;
}

}  // namespace
}  // namespace tessaron

int main(int argc, char** argv) {
  // Called by tessaron-render, messages carry the name the user typed.
  if (argc > 0 && argv[0][0] != '\0') {
    const std::string invoked = argv[0];
    tessaron::programName = invoked.substr(invoked.find_last_of('/') + 1);
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  return tessaron::Run(args);
}
