#pragma once
// PNG images to and from memory bitmaps.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/GfxBitmap.h"

namespace tessaron {

// Decodes a PNG image held in memory; nullptr for anything that is not a sound PNG.
std::unique_ptr<GfxMemBitmap> LoadPNGFromMemory(const uint8_t* data, std::size_t size);

// The size a sound PNG would decode to, from its header alone; false when the header
// already shows it cannot be decoded.
bool ReadPNGSize(const uint8_t* data, std::size_t size, int* width, int* height);

// Decodes the module's PNG resource of that name (for example "img/knob.png").
std::unique_ptr<GfxMemBitmap> LoadPNGFromResource(const char* name);

// Encodes the bitmap as 8-bit RGBA; false when the bitmap is empty or encoding fails.
bool EncodePNG(IGfxBitmap& bitmap, std::vector<uint8_t>& out);
bool WritePNGFile(IGfxBitmap& bitmap, const std::string& path);

}  // namespace tessaron
