// The decoders of the single forms, used by DecodePicture (and by tests of one form).
#pragma once

#include <span>

#include "pictures/Chunks.h"
#include "pictures/Picture.h"

namespace brindle::pictures {

// True when bytes begin with the banner's signature ("\x01APPSCRN").
bool IsBanner(std::span<const std::uint8_t> bytes);
// A banner: the 24-byte header (signature, pixel byte count, height, width, bits per pixel),
// then 16-bit pixels in the frame buffer's left/right form.
Decoded DecodeBanner(std::span<const std::uint8_t> bytes);
// A CEL: its CCB chunk, the PLUT chunk when coded, the PDAT chunk.
Decoded DecodeCel(std::span<const std::uint8_t> bytes, const ChunkList& list);
// An IMAG: the image control chunk and the PDAT chunk.
Decoded DecodeImag(std::span<const std::uint8_t> bytes, const ChunkList& list);

inline Decoded Fail(PictureFault fault, PictureForm form) {
  return {std::nullopt, fault, form};
}

}  // namespace brindle::pictures
