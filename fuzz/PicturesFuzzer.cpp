// The picture decoders (banner, IMAG, CEL) on untrusted bytes: never a read outside the input,
// and a decoded picture always as large as its sides say; then the thumbnail scaling of it.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "pictures/Picture.h"
#include "pictures/Scale.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto decoded = brindle::pictures::DecodePicture(std::span(data, size));
  if (!decoded.picture) return 0;
  const auto& picture = *decoded.picture;
  if (picture.width == 0 || picture.height == 0 ||
      picture.rgba.size() != std::size_t{picture.width} * picture.height * 4)
    std::abort();
  const auto small = brindle::pictures::FitWithin(picture, 1 + size % 64);
  if (small.width > picture.width || small.height > picture.height) std::abort();
  return 0;
}
