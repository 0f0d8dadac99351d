// Platform::writePng: writes a captured view as an 8-bit RGBA PNG file.
//
// The pixels are borrowed for the call only. Thread-safe as long as no two
// calls write the same file.
#pragma once

#include <string>

namespace Platform {

// Writes width x height RGBA pixels (4 bytes each, rows packed) to path. With
// bottomUp the first row of `rgba` is the bottom row of the image, as OpenGL
// reads it back, and the rows are flipped so the file shows the view upright.
// False when the arguments are invalid or the file cannot be written; a
// partly written file is removed.
bool writePng(const std::string& path, const unsigned char* rgba, int width, int height,
              bool bottomUp = true);

} // namespace Platform
