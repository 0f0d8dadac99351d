// Platform::buildBitmapFontLists: the one small bitmap font of the headless
// platform, compiled into OpenGL display lists for text drawn with
// glCallLists.
//
// The font has 5 x 7 glyphs for the printable ASCII codes 32..126 in a cell
// advancing 6 pixels; lower-case descenders reach 2 pixels below the
// baseline. Every other code compiles to an empty glyph that still advances
// the raster position, so a string of any bytes keeps its layout.
//
// This is the seam the display layer's font lists and the host's
// wglUseFontBitmapsW stand-in share; a platform with system fonts replaces it.
// Thread-safety: call with an OpenGL context current on the calling thread.
#pragma once

namespace Platform {

// Horizontal advance and height of the glyph cell, in pixels.
inline constexpr int kBitmapFontAdvance = 6;
inline constexpr int kBitmapFontHeight = 7;

// Compiles the glyphs of the codes first .. first + count - 1 into the lists
// listBase .. listBase + count - 1 (replacing what those lists held). False,
// with nothing compiled, without a current context, for a zero list base or
// for codes outside 0..255.
bool buildBitmapFontLists(unsigned int first, unsigned int count, unsigned int listBase);

} // namespace Platform
