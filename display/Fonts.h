// Bitmap-font display lists for text in the views, and the text of the last
// system error that the draw callback reports when a platform call fails.
//
// The font lists: one display list per character code 0..255, built from the
// platform's bitmap font (platform/BitmapFont.h); text is drawn with
// glListBase(fontListBase) and glCallLists over its bytes. The base of the
// lists in use is the global fontListBase.
// Thread-safety: the global is process-wide; build and use the lists on the
// user-interface thread with the view's context current.
#pragma once

#include <string>

// First display list of the font lists (0 until createFontDisplayLists has
// built them).
extern unsigned int fontListBase;

// Builds the 256 font lists at listBase and stores the base in fontListBase.
// Lists in that range that the font did not make (they exist already and are
// no earlier font lists) are never overwritten: a fresh range from
// glGenLists is used and stored as the base instead. The device handle is
// opaque and not read on this platform. False (fontListBase unchanged) when
// no context is current or no range of 256 lists can be had.
bool createFontDisplayLists(void* deviceContext, unsigned int listBase);

// The text of the last system error, owned by the caller; empty when there
// is none.
std::wstring getLastErrorText();
