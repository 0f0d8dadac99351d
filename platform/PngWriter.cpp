#include "platform/PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace Platform {

namespace {
constexpr int kMaxSide = 1 << 20;

// libpng reports errors by a long jump back into this frame; it holds no
// objects with destructors between setjmp and the jump, so nothing is skipped.
bool writeRows(std::FILE* file, png_bytep* rows, int width, int height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
} // namespace

bool writePng(const std::string& path, const unsigned char* rgba, int width, int height,
              bool bottomUp)
{
    if (rgba == nullptr || path.empty() || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide)
        return false;
    const std::size_t stride = static_cast<std::size_t>(width) * 4u;
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int source = bottomUp ? height - 1 - y : y;
        // libpng only reads the rows while writing.
        rows[static_cast<std::size_t>(y)] =
            const_cast<png_bytep>(rgba + static_cast<std::size_t>(source) * stride);
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = writeRows(file, rows.data(), width, height);
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok)
        std::remove(path.c_str());
    return ok;
}

} // namespace Platform
