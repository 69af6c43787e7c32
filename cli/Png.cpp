#include "cli/Png.h"

#include <png.h>
#include <unistd.h>

#include <iostream>

#include "output/OutputFile.h"

namespace brindle::cli {
namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void Flush(png_structp) {}

}  // namespace

std::vector<std::uint8_t> EncodePng(const pictures::Picture& picture) {
  std::vector<std::uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return {};
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &bytes, Append, Flush);
  // A file manager asks for hundreds of thumbnails: the fastest deflate level and one filter
  // (each pixel less the one to its left, which suits the console's smooth pictures) instead of
  // trying all five on every row cost about a quarter more bytes and a third of the time.
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (std::uint32_t y = 0; y < picture.height; ++y)
    png_write_row(png, picture.rgba.data() + std::size_t{y} * picture.width * 4);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

bool WritePng(const pictures::Picture& picture, const std::string& path, std::ostream& err) {
  const std::vector<std::uint8_t> bytes = EncodePng(picture);
  if (bytes.empty()) {
    err << "The picture could not be encoded as PNG.\n";
    return false;
  }
  if (path.empty()) {
    if (isatty(STDOUT_FILENO)) {
      err << "Standard output is a terminal: name the PNG file to write, or redirect the output.\n";
      return false;
    }
    std::cout.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    if (!std::cout) err << "The PNG could not be written to standard output.\n";
    return static_cast<bool>(std::cout);
  }
  auto file = output::OutputFile::Replace(path);
  if (!file || !file->writeAt(0, bytes) || !file->close()) {
    err << "Could not write \"" << path << "\".\n";
    return false;
  }
  return true;
}

}  // namespace brindle::cli
