// Writes the disc's picture forms from a known picture, sharing no code with the decoder: the
// banner, IMAG files and CEL files in every pixel form, for tests, the demo discs and the
// benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindle::testing {

// A picture as 15-bit colours (x RRRRR GGGGG BBBBB); kClear marks a pixel that must come out
// transparent (only the CEL forms have those).
inline constexpr std::uint32_t kClear = 0x10000;
struct Rgb555Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> pixels;  // row by row
  std::uint32_t at(std::uint32_t x, std::uint32_t y) const { return pixels[y * width + x]; }
};

std::vector<std::uint8_t> EncodeBanner(const Rgb555Picture& picture);
// bytesPerRow 0: width x 2.
std::vector<std::uint8_t> EncodeImag(const Rgb555Picture& picture, bool leftRight,
                                     std::uint32_t bytesPerRow = 0);

struct CelForm {
  unsigned bpp = 16;       // 1, 2, 4, 6, 8, 16
  bool coded = true;       // through the PLUT
  bool packed = false;     // packed rows
  bool leftRight = false;  // 16 bits unpacked: line pairs in one word
  bool preambleInCcb = true;
  bool rep8 = false;               // uncoded 8 bits: low bits repeated
  std::uint32_t plutHighBits = 0;  // 1, 2 and 4 bits: the PLUT index's high bits
};
// The picture's colours must be ones the form can hold: for coded forms at most as many
// distinct colours as the pixel reaches in the PLUT (2, 4, 16, or 32), for uncoded 8 bits the
// 3:3:2 colours (ColourOf332). Transparent pixels need a coded or packed form, or 16 bits.
std::vector<std::uint8_t> EncodeCel(const Rgb555Picture& picture, const CelForm& form);

// The 15-bit colour an uncoded 8-bit pixel (RRRGGGBB) stands for.
std::uint32_t ColourOf332(std::uint32_t value, bool rep8);

// A 320 x 240 banner picture in one of several looks (seed), for demo discs.
Rgb555Picture DemoBanner(std::uint32_t seed);

}  // namespace brindle::testing
