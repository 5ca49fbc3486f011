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

# Cross build of the 64-bit Windows module (build only).
windows-x64: deps
	bash scripts/build-mingw-libpng.sh x86_64-w64-mingw32
	cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DTESSARON_MODULE_ONLY=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build build-win64 -j$(JOBS)

clean:
	rm -rf $(BUILD) build-win64 build-win32
