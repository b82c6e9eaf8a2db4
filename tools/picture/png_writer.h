// A minimal PNG writer for window pictures: 8-bit RGB, no filtering, stored (uncompressed) deflate
// blocks.  Enough for screenshots of small windows, with no library behind it.
#ifndef ZUK_TOOLS_PICTURE_PNG_WRITER_H
#define ZUK_TOOLS_PICTURE_PNG_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

// Encodes width x height pixels (rgb: 3 bytes each, rows top to bottom) as a PNG file.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t> &rgb);
bool WritePng(const std::string &path, int width, int height, const std::vector<std::uint8_t> &rgb);

#endif
