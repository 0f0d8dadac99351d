// Test helper: reads a PNG file through libpng's own reader, independent of
// the project's writer, into top-down RGBA rows.
#pragma once

#include <string>
#include <vector>

namespace mwtest {

// False when the file cannot be read as PNG.
bool readPng(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgba);

} // namespace mwtest
