// A decoded picture (8-bit RGBA, rows top to bottom) and the one entry point that recognises
// which of the disc's picture forms a file is and decodes it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace brindle::pictures {

struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;  // width x height x 4 bytes

  void set(std::uint32_t x, std::uint32_t y, std::uint32_t rgbaValue);  // 0xRRGGBBAA
  std::uint32_t at(std::uint32_t x, std::uint32_t y) const;
};

// Why bytes did not give a picture.
enum class PictureFault : std::uint8_t {
  NotAPicture,   // none of the forms: no banner header, no IMAG or CCB chunk
  Truncated,     // a size or offset in the file runs past its end
  BadSize,       // a zero, inconsistent or impossibly large width, height or size field
  Unsupported,   // a pixel form this decoder does not know
  MissingChunk,  // a CEL without PDAT (or a coded CEL without PLUT), an IMAG without PDAT
  BadPixels,     // the pixel data contradicts itself (a row's packets run past the row)
};

const char* ToText(PictureFault fault);

enum class PictureForm : std::uint8_t { Banner, Imag, Cel };
const char* ToText(PictureForm form);

struct Decoded {
  std::optional<Picture> picture;
  PictureFault fault = PictureFault::NotAPicture;  // when picture is empty
  std::optional<PictureForm> form;                 // what the bytes were taken for
};

// Largest width or height any form may claim; a frame buffer is 320 x 240 or 384 x 288.
inline constexpr std::uint32_t kMaxSide = 2048;

// The picture in bytes, whichever form they are. Reads nothing outside bytes; the work done is
// bounded by the size of bytes and kMaxSide.
Decoded DecodePicture(std::span<const std::uint8_t> bytes);

// One 16-bit frame-buffer pixel (x RRRRR GGGGG BBBBB) as 0xRRGGBBAA, opaque; five bits widen to
// eight by repeating their top bits, so 31 is 255.
std::uint32_t Rgb555ToRgba(std::uint16_t pixel);

}  // namespace brindle::pictures
