// The banner: the picture the console shows while a disc starts.
#include <algorithm>
#include <cstring>

#include "pictures/Bytes.h"
#include "pictures/Formats.h"

namespace brindle::pictures {
namespace {

constexpr char kSignature[] =
    "\x01"
    "APPSCRN";
constexpr std::size_t kHeaderSize = 24;

}  // namespace

bool IsBanner(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

Decoded DecodeBanner(std::span<const std::uint8_t> bytes) {
  constexpr PictureForm kForm = PictureForm::Banner;
  if (bytes.size() < kHeaderSize) return Fail(PictureFault::Truncated, kForm);
  const std::uint32_t byteCount = *Be32(bytes, 8);
  const std::uint32_t height = *Be32(bytes, 12);
  const std::uint32_t width = *Be32(bytes, 16);
  const std::uint32_t bitsPerPixel = *Be32(bytes, 20);
  if (bitsPerPixel != 16) return Fail(PictureFault::Unsupported, kForm);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide)
    return Fail(PictureFault::BadSize, kForm);
  // Line pairs: each 32-bit word holds a pixel of an even line (high half) and the pixel below
  // it (low half); an odd last line has its pair's low halves unused.
  const std::size_t pairs = (height + 1) / 2;
  const std::size_t needed = pairs * width * 4;
  if (byteCount < needed) return Fail(PictureFault::BadSize, kForm);
  if (byteCount > bytes.size() - kHeaderSize) return Fail(PictureFault::Truncated, kForm);

  Picture picture{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
  const std::uint8_t* word = bytes.data() + kHeaderSize;
  for (std::uint32_t pair = 0; pair < pairs; ++pair) {
    for (std::uint32_t x = 0; x < width; ++x, word += 4) {
      picture.set(x, pair * 2, Rgb555ToRgba(static_cast<std::uint16_t>(word[0] << 8 | word[1])));
      if (pair * 2 + 1 < height)
        picture.set(x, pair * 2 + 1,
                    Rgb555ToRgba(static_cast<std::uint16_t>(word[2] << 8 | word[3])));
    }
  }
  return {std::move(picture), PictureFault::NotAPicture, kForm};
}

}  // namespace brindle::pictures
