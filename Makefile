# The README's entry points. Each installs what is missing first.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps demo-deps windows-deps build demo test windows windows-x64 windows-x86 test-windows clean

all: build

deps:
	bash scripts/install-deps.sh

demo-deps:
	bash scripts/install-deps.sh --demo

windows-deps:
	bash scripts/install-deps.sh --windows

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

# Only the module and the renderer are built: the tests and benchmarks come with `make test`
# and `make bench`. The demo's chords stack up to nine keys on "PAD: Star Tone": a lower
# master level keeps them below full scale.
demo: demo-deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target Tessaron64 tessaron-render
	$(BUILD)/tools/render/tessaron-render --demo --program 0 --param 65=0.35 -o demo.wav

test: deps build
	cd $(BUILD) && ctest -j$(JOBS) --output-on-failure --timeout 600

# Whole-render and component benchmarks (name, CPU time per call, real-time factor) and
# start-up times (wall-clock milliseconds, with any note the benchmark adds). Read from
# JSON: the CSV writer stops at the first benchmark whose counters differ from the first's.
# BENCH_ARGS passes options through, e.g. BENCH_ARGS=--benchmark_filter=Render/44k
.PHONY: bench
bench:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target tessaron-bench tessaron-render Tessaron64
	$(BUILD)/bench/tessaron-bench --benchmark_format=json $(BENCH_ARGS) 2>/dev/null | awk \
	  '/"benchmarks": \[/ { rows = 1; printf "%-36s %14s %10s %12s\n", "benchmark", "cpu ns", "wall ms", "x realtime"; next } \
	   !rows { next } \
	   /^ *"[a-z_]+": / { key = $$0; sub(/^ *"/, "", key); sub(/".*/, "", key); \
	                      value = substr($$0, index($$0, "\": ") + 3); sub(/,$$/, "", value); gsub(/^"|"$$/, "", value); \
	                      f[key] = value; next } \
	   /^ *}/ && ("name" in f) { name = f["name"]; sub(/\/iterations:[0-9]+/, "", name); sub(/\/(real|manual)_time$$/, "", name); \
	     note = f["error_occurred"] == "true" ? "error: " f["error_message"] : f["label"]; \
	     printf "%-36s %14s %10s %12s%s\n", name, f["time_unit"] == "ns" ? sprintf("%.0f", f["cpu_time"]) : "-", \
	            f["time_unit"] == "ms" ? sprintf("%.2f", f["real_time"]) : "-", \
	            f["realtime"] != "" ? sprintf("%.1f", f["realtime"]) : "-", note != "" ? "  " note : ""; \
	     split("", f) }'
	@echo
	@echo "Whole renders through the module (tessaron-render --timing):"
	bash bench/render-grid.sh $(BUILD)/tools/render/tessaron-render
	@echo
	@echo "Against amsynth and ZynAddSubFX (bench/peers.sh):"
	bash bench/peers.sh $(BUILD)/tools/render/tessaron-render

# Tessaron against the VST 2 instruments users would pick instead (installed when missing,
# as test dependencies), in one interleaved run; the table goes into docs/performance.md.
.PHONY: bench-peers
bench-peers:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target tessaron-render Tessaron64
	bash bench/peers.sh $(BUILD)/tools/render/tessaron-render --write docs/performance.md

# Cross builds of the Windows modules: build-win64/Tessaron64.dll and build-win32/Tessaron.dll.
WINDOWS_FLAGS ?= -DTESSARON_MODULE_ONLY=ON -DCMAKE_BUILD_TYPE=Release

windows: windows-x64 windows-x86

windows-x64: windows-deps
	bash scripts/build-mingw-libpng.sh x86_64-w64-mingw32
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(WINDOWS_FLAGS)
	cmake --build build-win64 -j$(JOBS)
	bash scripts/check-windows-imports.sh build-win64/Tessaron64.dll

windows-x86: windows-deps
	bash scripts/build-mingw-libpng.sh i686-w64-mingw32
	cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(WINDOWS_FLAGS)
	cmake --build build-win32 -j$(JOBS)
	bash scripts/check-windows-imports.sh build-win32/Tessaron.dll

# Both modules with the Windows build of the ABI and audio tests, run under Wine.
test-windows:
	$(MAKE) windows WINDOWS_FLAGS="$(WINDOWS_FLAGS) -DTESSARON_WINDOWS_TESTS=ON"
	bash scripts/run-wine-tests.sh build-win64 build-win32

clean:
	rm -rf $(BUILD) build-win64 build-win32

# Installs the Linux module where VST 2 hosts on Linux look for it, and the LV2 bundle where
# LV2 hosts do. VST_DIR and LV2_DIR override the folders.
VST_DIR ?= $(HOME)/.vst
LV2_DIR ?= $(HOME)/.lv2
.PHONY: install uninstall dist

install: demo-deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target Tessaron64 TessaronLv2
	install -d "$(VST_DIR)"
	install -m 644 $(BUILD)/Tessaron64.so "$(VST_DIR)/Tessaron64.so"
	@echo "Installed $(VST_DIR)/Tessaron64.so. Let your host rescan its VST 2 folders to find Tessaron."
	rm -rf "$(LV2_DIR)/Tessaron.lv2"
	install -d "$(LV2_DIR)/Tessaron.lv2"
	install -m 644 $(BUILD)/lv2/Tessaron.lv2/* "$(LV2_DIR)/Tessaron.lv2/"
	@echo "Installed $(LV2_DIR)/Tessaron.lv2. LV2 hosts find it at their next start or plug-in scan."

# Removes only the module and the bundle; the configuration file and your program and bank
# files stay.
uninstall:
	rm -f "$(VST_DIR)/Tessaron64.so"
	rm -rf "$(LV2_DIR)/Tessaron.lv2"
	@echo "Removed $(VST_DIR)/Tessaron64.so and $(LV2_DIR)/Tessaron.lv2."

# The release archive: the three modules, the LV2 bundle, the factory bank, the user guide and
# the licence notices.
dist: windows
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target Tessaron64 TessaronLv2
	bash scripts/dist.sh $(BUILD) build-win64 build-win32

# Robustness checks beyond the test suite: sanitizers (build-asan, build-tsan), bounded
# fuzzing (build-fuzz, FUZZ_SECONDS per target) and memcheck of one instance's life.
.PHONY: check-deps check-sanitizers check-fuzz check-valgrind check-all
check-deps: deps
	bash scripts/install-deps.sh --checks

check-sanitizers: check-deps
	bash scripts/check-sanitizers.sh

check-fuzz: check-deps
	bash scripts/check-fuzz.sh

check-valgrind: check-deps build
	BUILD=$(BUILD) bash scripts/check-valgrind.sh

check-all: test check-sanitizers check-fuzz check-valgrind

# The project's C++ style (.clang-format) applied to every C++ file, or only checked.
.PHONY: format check-format
format:
	bash scripts/install-deps.sh --checks
	bash scripts/format.sh

check-format:
	bash scripts/install-deps.sh --checks
	bash scripts/format.sh --check
