# The README's entry points. Each installs what is missing first.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps demo-deps build demo test windows-x64 clean

all: build

deps:
	bash scripts/install-deps.sh

demo-deps:
	bash scripts/install-deps.sh --demo

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

demo: demo-deps build
	$(BUILD)/tools/render/tessaron-render --demo -o demo.wav

test: deps build
	cd $(BUILD) && ctest -j$(JOBS) --output-on-failure --timeout 600

# Whole-render and component benchmarks: name, CPU time per call, real-time factor.
# BENCH_ARGS passes options through, e.g. BENCH_ARGS=--benchmark_filter=Render/44k
.PHONY: bench
bench:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target tessaron-bench
	$(BUILD)/bench/tessaron-bench --benchmark_format=csv $(BENCH_ARGS) 2>/dev/null | awk -F, \
	  'NR == 1 { for (i = 1; i <= NF; i++) if ($$i == "\"realtime\"") rt = i; \
	             printf "%-36s %14s %12s\n", "benchmark", "cpu ns", "x realtime"; next } \
	   { gsub(/"/, "", $$1); printf "%-36s %14.0f %12s\n", $$1, $$4, (rt && $$rt != "") ? sprintf("%.1f", $$rt) : "-" }'

# Cross build of the 64-bit Windows module (build only).
windows-x64: deps
	bash scripts/build-mingw-libpng.sh x86_64-w64-mingw32
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DTESSARON_MODULE_ONLY=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build build-win64 -j$(JOBS)

clean:
	rm -rf $(BUILD) build-win64 build-win32
