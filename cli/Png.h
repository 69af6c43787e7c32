// Pictures leave the command line as PNG files (libpng): written whole under a part name that
// takes the file's name only once complete, or to standard output.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "pictures/Picture.h"

namespace brindle::cli {

// The picture as the bytes of an 8-bit RGBA PNG file; empty when the encoder failed.
std::vector<std::uint8_t> EncodePng(const pictures::Picture& picture);

// Writes the picture as PNG to path ("" for standard output, refused when that is a terminal);
// false after telling err why not. A file that was there is replaced only by a complete one.
bool WritePng(const pictures::Picture& picture, const std::string& path, std::ostream& err);

}  // namespace brindle::cli
