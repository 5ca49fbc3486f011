// Drives the built tessaron-render executable against a recording stand-in
// instrument and checks what the instrument was told and what the WAV holds.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/render/SmfBuilder.h"

namespace tessaron {
namespace {

namespace fs = std::filesystem;
using test::Smf;
using test::Track;

struct Outcome {
  int exitCode = -1;
  bool crashed = false;
  std::string out;
  std::string err;
};

struct Wav {
  SF_INFO info{};
  std::vector<double> samples;  // interleaved
  double At(int64_t frame, int channel) const { return samples[frame * info.channels + channel]; }
};

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return q + "'";
}

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

class RenderTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tessaron-render-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path Path(const std::string& name) const { return dir / name; }

  // The shell command that runs the tool; shellPrefix runs first in the same shell.
  std::string Command(const std::vector<std::string>& args, const std::string& mode,
                      const std::string& shellPrefix = "") const {
    // Built piece by piece: g++ 12 warns falsely about a chain of literal + string.
    std::string cmd = shellPrefix;
    cmd += "TESSARON_FAKE_LOG=";
    cmd += Quote(Path("log.txt"));
    cmd += " TESSARON_FAKE_MODE=";
    cmd += Quote(mode);
    cmd += " exec ";
    cmd += Quote(TESSARON_RENDER_EXE);
    for (const auto& a : args) {
      cmd += ' ';
      cmd += Quote(a);
    }
    cmd += " >";
    cmd += Quote(Path("out.txt"));
    cmd += " 2>";
    cmd += Quote(Path("err.txt"));
    return cmd;
  }

  Outcome Run(const std::vector<std::string>& args, const std::string& mode = "",
              const std::string& shellPrefix = "") const {
    const int status = std::system(Command(args, mode, shellPrefix).c_str());
    return Finished(status);
  }

  Outcome Finished(int status) const {
    Outcome o;
    o.crashed = WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) >= 126);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = ReadText(Path("out.txt"));
    o.err = ReadText(Path("err.txt"));
    return o;
  }

  // Names in the test folder other than the tool's own logs and the files given.
  std::vector<std::string> Leftovers(const std::vector<std::string>& expected) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (name != "log.txt" && name != "out.txt" && name != "err.txt" &&
          std::find(expected.begin(), expected.end(), name) == expected.end()) {
        names.push_back(name);
      }
    }
    return names;
  }

  std::vector<std::string> Log() const { return Lines(ReadText(Path("log.txt"))); }

  std::string Write(const std::string& name, const test::Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return Path(name).string();
  }

  static Wav ReadWav(const fs::path& p) {
    Wav w;
    SNDFILE* f = sf_open(p.c_str(), SFM_READ, &w.info);
    EXPECT_NE(f, nullptr) << p;
    if (f) {
      w.samples.resize(static_cast<size_t>(w.info.frames * w.info.channels));
      sf_readf_double(f, w.samples.data(), w.info.frames);
      sf_close(f);
    }
    return w;
  }

  fs::path dir;
};

// 480 ticks per quarter: 50 samples per tick at 48 kHz until tick 960, then 100 (60 bpm).
test::Bytes TimingFile() {
  Track t;
  t.Tempo(0, 500000)
      .Event(0, {0x90, 60, 127})
      .Event(1, {62, 100})  // running status
      .Event(6, {0xB0, 1, 64})
      .Event(473, {0x90, 64, 90})  // tick 480
      .Event(1, {0xE0, 0, 80})
      .Tempo(479, 1000000)  // tick 960
      .Event(0, {0xC0, 5})
      .Event(40, {0x90, 67, 80})  // tick 1000
      .Event(2, {0x80, 60, 0})
      .End(8);  // tick 1010
  return Smf(0, 480, {t});
}

TEST_F(RenderTool, EventsArriveAtTheirExactSampleForEveryBlockSize) {
  const std::string midi = Write("timing.mid", TimingFile());
  const std::vector<std::string> expected = {"event 0 144 60 127",    "event 50 144 62 100",  "event 350 176 1 64",
                                             "event 24000 144 64 90", "event 24050 224 0 80", "event 48000 192 5 0",
                                             "event 52000 144 67 80", "event 52200 128 60 0"};
  const int64_t frames = 53000 + 1 + 12000;  // last event, then a quarter second of tail

  for (int block : {1, 64, 100, 512, 4096}) {
    SCOPED_TRACE("block " + std::to_string(block));
    const std::string mode = block == 100 ? "float" : "";
    const Outcome o = Run({"--module", TESSARON_FAKE_MODULE, "--midi", midi, "-o", Path("out.wav"), "--rate", "48000",
                           "--block", std::to_string(block), "--tail", "0.25", "--quiet"},
                          mode);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(o.err, "");  // no progress bar when stderr is not a terminal
    EXPECT_EQ(o.out, "");  // --quiet

    std::vector<std::string> events;
    std::vector<std::string> times;
    int64_t processed = 0;
    for (const auto& line : Log()) {
      if (line.rfind("event ", 0) == 0) {
        events.push_back(line);
      } else if (line.rfind("time ", 0) == 0) {
        times.push_back(line);
      } else if (line.rfind("process ", 0) == 0) {
        EXPECT_EQ(line.rfind(mode == "float" ? "process float " : "process double ", 0), 0u) << line;
        processed += std::stoll(line.substr(line.rfind(' ') + 1));
      }
      EXPECT_EQ(line.rfind("misplaced", 0), std::string::npos) << line;
    }
    if (block == 64) {
      // Transport at block starts: 120 bpm, then 60 bpm from one second (quarter 2) on;
      // the flags say playing, with valid ppq, tempo, bars and time signature.
      for (const char* line :
           {"time 24000 120.000 1.0000 0.0000 4/4 11778", "time 48000 60.000 2.0000 0.0000 4/4 11778",
            "time 52032 60.000 2.0840 0.0000 4/4 11778"}) {
        EXPECT_NE(std::find(times.begin(), times.end(), line), times.end()) << line;
      }
    }
    EXPECT_EQ(events, expected);
    EXPECT_EQ(processed, frames);

    const Wav w = ReadWav(Path("out.wav"));
    EXPECT_EQ(w.info.frames, frames);
    EXPECT_EQ(w.info.samplerate, 48000);
    EXPECT_EQ(w.info.channels, 2);
    EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    std::vector<int64_t> impulses;
    double toneMax = 0.0;
    for (int64_t i = 0; i < w.info.frames; ++i) {
      if (w.At(i, 0) != 0.0) {
        impulses.push_back(i);
      }
      toneMax = std::max(toneMax, std::fabs(w.At(i, 1)));
    }
    EXPECT_EQ(impulses, (std::vector<int64_t>{0, 50, 24000, 52000}));
    EXPECT_NEAR(w.At(50, 0), 100.0 / 127.0, 1e-6);
    EXPECT_NEAR(toneMax, 0.25, 1e-3);
  }
}

TEST_F(RenderTool, OpensLikeAHostSelectsProgramsAndAppliesParamsAfterThem) {
  const Outcome o = Run({"--module", TESSARON_FAKE_MODULE, "--demo", "-o", Path("demo.wav"), "--program", "Bass Line",
                         "--param", "2=0.75", "--param", "0=0.5", "--rate", "22050", "--float"});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  std::vector<std::string> lifecycle;
  int notes = 0;
  for (const auto& line : Log()) {
    if (line.rfind("process", 0) == 0 || line.rfind("time", 0) == 0) {
      continue;
    }
    if (line.rfind("event ", 0) == 0) {
      ++notes;
      continue;
    }
    lifecycle.push_back(line);
  }
  EXPECT_EQ(lifecycle,
            (std::vector<std::string>{"version 2400", "open level 4 product Tessaron", "rate 22050", "block 512",
                                      "program 2", "param 2 0.7500", "param 0 0.5000", "mains 1", "mains 0", "close"}));
  EXPECT_GT(notes, 40);

  // Eight seconds of phrase at 22050 Hz, the sample it ends on, then the default two-second tail.
  const Wav w = ReadWav(Path("demo.wav"));
  EXPECT_EQ(w.info.frames, 8 * 22050 + 1 + 2 * 22050);
  EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_NE(o.out.find("demo.wav: 10.00 s, 22050 Hz, 2 channels, 32-bit float, peak"), std::string::npos) << o.out;

  ASSERT_EQ(
      Run({"--module", TESSARON_FAKE_MODULE, "--demo", "-o", Path("demo.wav"), "--program", "1", "--timing", "--quiet"})
          .exitCode,
      0);
  const auto log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "program 1"), log.end());
  EXPECT_EQ(ReadText(Path("out.txt")).rfind("timing: ", 0), 0u);
}

TEST_F(RenderTool, SamplesThatAreNotNumbersAreWrittenAsSilenceAndReported) {
  const Outcome o = Run({"--module", TESSARON_FAKE_MODULE, "--demo", "-o", Path("nan.wav"), "--tail", "0"}, "nan");
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.out.find("warning: 10 NaN or infinite samples"), std::string::npos) << o.out;
  const Wav w = ReadWav(Path("nan.wav"));
  for (int64_t i = 0; i < 10; ++i) {
    EXPECT_EQ(w.At(i, 1), 0.0);
  }
  EXPECT_NE(w.At(10, 1), 0.0);
}

TEST_F(RenderTool, EveryFailureIsOneLineAndANonZeroExit) {
  Track t;
  t.Event(0, {0x90, 60, 100}).Event(100, {0x80, 60, 0}).End();
  const test::Bytes whole = Smf(0, 480, {t});
  const test::Bytes cut(whole.begin(), whole.end() - 3);
  const std::string truncated = Write("cut.mid", cut);
  const std::string text = Write("text.so", test::Bytes{'h', 'i', '\n'});
  const std::string out = Path("x.wav");
  const std::string fake = TESSARON_FAKE_MODULE;

  struct Case {
    std::vector<std::string> args;
    std::string mode;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--module", fake, "--demo", "-o", out, "--program", "Nope"}, "", "no program named 'Nope'"},
      {{"--module", fake, "--demo", "-o", out, "--program", "3"}, "", "program 3 does not exist"},
      {{"--module", fake, "--demo", "-o", out, "--param", "4=0.5"}, "", "parameter 4 does not exist"},
      {{"--module", fake, "--midi", Path("missing.mid"), "-o", out}, "", "cannot read MIDI file"},
      {{"--module", fake, "--midi", text, "-o", out}, "", "not a MIDI file"},
      {{"--module", fake, "--demo", "-o", "/nonexistent-folder/x.wav"}, "", "cannot write"},
      {{"--module", text, "--demo", "-o", out}, "", "cannot load module"},
      {{"--module", Path("nothing.so"), "--demo", "-o", out}, "", "cannot load module"},
      {{"--module", TESSARON_NO_ENTRY_MODULE, "--demo", "-o", out}, "", "no VSTPluginMain or main"},
      {{"--module", fake, "--demo", "-o", out}, "null", "answered null"},
      {{"--module", fake, "--demo", "-o", out}, "badmagic", "wrong magic"},
      {{"--module", fake, "--demo", "-o", out, "--block", "abc"}, "", "block size 'abc'"},
      {{"--module", fake, "-o", out}, "", "nothing to play"},
      {{"--demo", "-o", out, "--frobnicate"}, "", "unknown option '--frobnicate'"},
      {{"--module", fake, "--midi", dir.string(), "-o", out}, "", "is a folder, not a file"},
      {{"--module", fake, "--midi", "/proc/self/status", "-o", out}, "", "not a MIDI file (no MThd header)"},
      {{"--module", fake, "--midi", text, "--midi", text, "-o", out}, "", "option --midi given twice"},
      {{"--module", fake, "--demo", "-o", out, "-o", out}, "", "option -o given twice"},
      {{"--module", fake, "--demo", "-o", Path("x.mp4")}, "", "cannot tell an audio file type from the extension"},
      {{"--module", fake, "--demo", "-o", out, "--param", "1=1e400"}, "", "value '1e400' in '1=1e400' is outside"},
      {{"--module", fake, "--demo", "-o", out, "--param", "1=x"}, "", "value 'x' in '1=x' is not a number"},
      {{"--snapshot", Path("p.png"), "--program", "999"}, "", "program 999 does not exist (the instrument has"},
      {{"--snapshot", Path("p.png"), "--param", "999=0"}, "", "parameter 999 does not exist (the instrument has"},
      {{"--snapshot", "/nonexistent-folder/p.png"}, "", "cannot write '/nonexistent-folder/p.png': No such file"},
      {{"--module", fake, "--demo", "-o", Path("fifo.wav")},
       "",
       "cannot write '" + Path("fifo.wav").string() + "': it is a pipe"},
  };
  ASSERT_EQ(mkfifo(Path("fifo.wav").c_str(), 0600), 0);
  for (const auto& c : cases) {
    const Outcome o = Run(c.args, c.mode);
    SCOPED_TRACE(c.message);
    EXPECT_FALSE(o.crashed);
    EXPECT_NE(o.exitCode, 0);
    const auto lines = Lines(o.err);
    ASSERT_EQ(lines.size(), 1u) << o.err;
    EXPECT_EQ(lines[0].rfind("tessaron-render: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(c.message), std::string::npos) << lines[0];
  }

  // A damaged file plays, with one warning line for the kind of damage.
  const Outcome damaged = Run({"--module", fake, "--midi", truncated, "-o", out, "--quiet"});
  EXPECT_EQ(damaged.exitCode, 0);
  EXPECT_EQ(damaged.err, "tessaron-render: warning: MIDI file '" + truncated +
                             "', track 1, byte 31: the file ends inside this track; played what was read\n");

  // A refusal after the instance was made still closes it.
  Run({"--module", fake, "--demo", "-o", out, "--program", "Nope"});
  const auto log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "close");

  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: tessaron-render", 0), 0u);
}

TEST_F(RenderTool, TheOutputNeverReplacesAnInput) {
  const std::string midi = Write("song.mid", TimingFile());
  const std::string before = ReadText(midi);
  fs::create_hard_link(midi, Path("link.wav"));
  fs::copy_file(TESSARON_FAKE_MODULE, Path("module.so"));
  const std::string module = Path("module.so").string();
  const std::string moduleBytes = ReadText(module);

  for (const auto& [output, what] :
       {std::pair{midi, "MIDI file"}, std::pair{Path("link.wav").string(), "MIDI file"}, std::pair{module, "module"}}) {
    const Outcome o = Run({"--module", module, "--midi", midi, "-o", output, "--quiet"});
    EXPECT_EQ(o.exitCode, 1) << output;
    EXPECT_NE(o.err.find(std::string("is the ") + what), std::string::npos) << o.err;
  }
  EXPECT_EQ(ReadText(midi), before);
  EXPECT_EQ(ReadText(module), moduleBytes);
}

// A file-size limit stands in for a full disk: the write fails part-way.
TEST_F(RenderTool, AFailedWriteKeepsThePreviousFileAndLeavesNoTemporaryFile) {
  const std::string previous = "the previous render";
  std::ofstream(Path("song.wav")) << previous;
  std::ofstream(Path("panel.png")) << previous;
  const std::string limit = "trap '' XFSZ; ulimit -f 64; ";  // 32 KiB or more, far below the render

  const Outcome o = Run({"--module", TESSARON_FAKE_MODULE, "--demo", "-o", Path("song.wav")}, "", limit);
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_EQ(o.err, "tessaron-render: writing '" + Path("song.wav").string() + "' failed: File too large; '" +
                       Path("song.wav").string() + "' is left as it was\n");
  EXPECT_EQ(ReadText(Path("song.wav")), previous);

  const Outcome snap = Run({"--snapshot", Path("panel.png")}, "", "trap '' XFSZ; ulimit -f 1; ");
  EXPECT_EQ(snap.exitCode, 1);
  EXPECT_EQ(snap.err, "tessaron-render: cannot write '" + Path("panel.png").string() + "': File too large; '" +
                          Path("panel.png").string() + "' is left as it was\n");
  EXPECT_EQ(ReadText(Path("panel.png")), previous);
  EXPECT_EQ(Leftovers({"song.wav", "panel.png"}), std::vector<std::string>{});

  // Without a limit both are replaced whole.
  ASSERT_EQ(Run({"--module", TESSARON_FAKE_MODULE, "--demo", "-o", Path("song.wav"), "--quiet"}).exitCode, 0);
  EXPECT_EQ(ReadWav(Path("song.wav")).info.frames, 10 * 44100 + 1);
  ASSERT_EQ(Run({"--snapshot", Path("panel.png"), "--quiet"}).exitCode, 0);
  EXPECT_EQ(ReadText(Path("panel.png")).substr(1, 3), "PNG");
  EXPECT_EQ(Leftovers({"song.wav", "panel.png"}), std::vector<std::string>{});
}

TEST_F(RenderTool, AnInterruptedRenderKeepsThePreviousFileAndLeavesNoTemporaryFile) {
  const std::string previous = "the previous render";
  std::ofstream(Path("long.wav")) << previous;
  // An hour of tail at a high rate: far longer than any machine takes to be interrupted.
  const std::string cmd = Command({"--module", TESSARON_FAKE_MODULE, "--demo", "-o", Path("long.wav"), "--tail", "3600",
                                   "--rate", "192000", "--quiet"},
                                  "");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait until the temporary file holds audio, then ask the render to stop.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool writing = false;
  int status = 0;
  while (!writing && std::chrono::steady_clock::now() < giveUp && waitpid(child, &status, WNOHANG) == 0) {
    for (const auto& name : Leftovers({"long.wav"})) {
      writing = writing || fs::file_size(Path(name)) > 100000;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(writing);
  kill(child, SIGTERM);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_EQ(ReadText(Path("err.txt")),
            "tessaron-render: interrupted by SIGTERM; '" + Path("long.wav").string() + "' is left as it was\n");
  EXPECT_EQ(ReadText(Path("long.wav")), previous);
  EXPECT_EQ(Leftovers({"long.wav"}), std::vector<std::string>{});
}

TEST_F(RenderTool, TheSummaryAndWarningsSayWhatHappened) {
  const std::string fake = TESSARON_FAKE_MODULE;
  // A piece without notes from an instrument that only hisses far below hearing is silent.
  const std::string controls = Write("controls.mid", Smf(0, 480, {Track().Event(0, {0xB0, 7, 100}).End(480)}));
  Outcome o = Run({"--module", fake, "--midi", controls, "-o", Path("quiet.wav"), "--tail", "0.1"}, "faint");
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.out.find(", silent, "), std::string::npos) << o.out;

  // Another module's clipping is not ours to advise on by parameter number.
  o = Run({"--module", fake, "--demo", "-o", Path("loud.wav"), "--tail", "0"}, "loud");
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.out.find("warning: the peak passes full scale and was clipped in the file; lower the module's "
                       "output level or write --float"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(o.out.find("--param"), std::string::npos) << o.out;

  // The extension picks the file type; a pipe is read as a file is.
  const std::string midi = Write("song.mid", TimingFile());
  ASSERT_EQ(mkfifo(Path("pipe.mid").c_str(), 0600), 0);
  o = Run({"--module", fake, "--midi", Path("pipe.mid"), "-o", Path("song.flac"), "--rate", "48000", "--tail", "0"}, "",
          "cat " + Quote(midi) + " >" + Quote(Path("pipe.mid")) + " & ");
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.out.find("24-bit FLAC"), std::string::npos) << o.out;
  const Wav flac = ReadWav(Path("song.flac"));
  EXPECT_EQ(flac.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  EXPECT_EQ(flac.info.frames, 53001);
}

TEST_F(RenderTool, RendersTheDemoThroughTheBuiltInstrument) {
  if (!std::getenv("TESSARON_MODULE")) {
    GTEST_SKIP() << "the instrument module is not built";
  }
  const Outcome o = Run({"--demo", "-o", Path("demo.wav"), "--tail", "0.5", "--program", "0"});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  // The demo's chords pass full scale at the program's own master level: the advice names ours.
  EXPECT_NE(o.out.find("lower the master level (--param 65=0.35)"), std::string::npos) << o.out;
  const Wav w = ReadWav(Path("demo.wav"));
  EXPECT_EQ(w.info.channels, 2);
  EXPECT_EQ(w.info.samplerate, 44100);
  EXPECT_EQ(w.info.frames, 8 * 44100 + 1 + 22050);
  for (double v : w.samples) {
    ASSERT_TRUE(std::isfinite(v));
  }
}

}  // namespace
}  // namespace tessaron
