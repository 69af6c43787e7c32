// IMAG files: an image control chunk (width, height, bytes per row, pixel form) and the pixels
// in a PDAT chunk; the form a paint program saves a full-screen picture in.
#include "pictures/Bytes.h"
#include "pictures/Formats.h"

namespace brindle::pictures {
namespace {

constexpr PictureForm kForm = PictureForm::Imag;
// The image control chunk: id, size, then these fields.
constexpr std::size_t kWidth = 8;
constexpr std::size_t kHeight = 12;
constexpr std::size_t kBytesPerRow = 16;
constexpr std::size_t kBitsPerPixel = 20;
constexpr std::size_t kColourSpace = 23;  // 0: RGB
constexpr std::size_t kCompression = 24;  // 0: none
constexpr std::size_t kPixelOrder = 26;   // 0: row by row; 1: left/right line pairs
constexpr std::size_t kChunkSize = 28;

}  // namespace

Decoded DecodeImag(std::span<const std::uint8_t> bytes, const ChunkList& list) {
  const Chunk* imag = FindChunk(list.chunks, "IMAG");
  if (imag->size < kChunkSize) return Fail(PictureFault::Truncated, kForm);
  const auto header = bytes.subspan(imag->offset, imag->size);
  const std::uint32_t width = *Be32(header, kWidth);
  const std::uint32_t height = *Be32(header, kHeight);
  std::uint32_t bytesPerRow = *Be32(header, kBytesPerRow);
  const bool leftRight = header[kPixelOrder] == 1;
  if (header[kBitsPerPixel] != 16 || header[kColourSpace] != 0 || header[kCompression] != 0 ||
      header[kPixelOrder] > 1)
    return Fail(PictureFault::Unsupported, kForm);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
    return Fail(PictureFault::BadSize, kForm);
  if (bytesPerRow == 0) bytesPerRow = width * 2;
  if (bytesPerRow < width * 2 || bytesPerRow > kMaxSide * 4)
    return Fail(PictureFault::BadSize, kForm);

  const Chunk* pdat = FindChunk(list.chunks, "PDAT");
  if (pdat == nullptr)
    return Fail(list.cutAt("PDAT") ? PictureFault::Truncated : PictureFault::MissingChunk, kForm);
  const auto data = bytes.subspan(pdat->offset + 8, pdat->size - 8);
  // Left/right: a line pair is two rows' worth of bytes, one word per column.
  const std::size_t rows = leftRight ? (height + 1) / 2 : height;
  const std::size_t rowBytes = leftRight ? std::size_t{bytesPerRow} * 2 : bytesPerRow;
  if (rows * rowBytes > data.size()) return Fail(PictureFault::Truncated, kForm);

  Picture picture{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
  for (std::uint32_t row = 0; row < rows; ++row) {
    const std::uint8_t* p = data.data() + row * rowBytes;
    for (std::uint32_t x = 0; x < width; ++x) {
      if (leftRight) {
        picture.set(x, row * 2, Rgb555ToRgba(static_cast<std::uint16_t>(p[0] << 8 | p[1])));
        if (row * 2 + 1 < height)
          picture.set(x, row * 2 + 1, Rgb555ToRgba(static_cast<std::uint16_t>(p[2] << 8 | p[3])));
        p += 4;
      } else {
        picture.set(x, row, Rgb555ToRgba(static_cast<std::uint16_t>(p[0] << 8 | p[1])));
        p += 2;
      }
    }
  }
  return {std::move(picture), PictureFault::NotAPicture, kForm};
}

}  // namespace brindle::pictures
