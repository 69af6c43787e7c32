#include "pictures/Picture.h"

#include "pictures/Formats.h"

namespace brindle::pictures {

void Picture::set(std::uint32_t x, std::uint32_t y, std::uint32_t value) {
  std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
  p[0] = static_cast<std::uint8_t>(value >> 24);
  p[1] = static_cast<std::uint8_t>(value >> 16);
  p[2] = static_cast<std::uint8_t>(value >> 8);
  p[3] = static_cast<std::uint8_t>(value);
}

std::uint32_t Picture::at(std::uint32_t x, std::uint32_t y) const {
  const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

const char* ToText(PictureFault fault) {
  switch (fault) {
    case PictureFault::NotAPicture:
      return "none of the picture forms (banner, IMAG, CEL)";
    case PictureFault::Truncated:
      return "cut off: a size in its header runs past the end of the file";
    case PictureFault::BadSize:
      return "a zero, inconsistent or too large size in its header";
    case PictureFault::Unsupported:
      return "a pixel form that is not supported";
    case PictureFault::MissingChunk:
      return "a chunk it needs is missing (PDAT, or PLUT for coded pixels)";
    case PictureFault::BadPixels:
      return "its pixel data runs past the rows it belongs to";
  }
  return "not a picture";
}

const char* ToText(PictureForm form) {
  switch (form) {
    case PictureForm::Banner:
      return "banner";
    case PictureForm::Imag:
      return "IMAG image";
    case PictureForm::Cel:
      return "CEL";
  }
  return "picture";
}

std::uint32_t Rgb555ToRgba(std::uint16_t pixel) {
  const auto widen = [](std::uint32_t five) { return (five << 3) | (five >> 2); };
  const std::uint32_t r = widen((pixel >> 10) & 31u);
  const std::uint32_t g = widen((pixel >> 5) & 31u);
  const std::uint32_t b = widen(pixel & 31u);
  return r << 24 | g << 16 | b << 8 | 0xFFu;
}

Decoded DecodePicture(std::span<const std::uint8_t> bytes) {
  if (IsBanner(bytes)) return DecodeBanner(bytes);
  const ChunkList list = ReadChunks(bytes);
  if (FindChunk(list.chunks, "CCB ") != nullptr) return DecodeCel(bytes, list);
  if (FindChunk(list.chunks, "IMAG") != nullptr) return DecodeImag(bytes, list);
  if (list.cutAt("CCB ")) return Fail(PictureFault::Truncated, PictureForm::Cel);
  if (list.cutAt("IMAG")) return Fail(PictureFault::Truncated, PictureForm::Imag);
  return {};
}

}  // namespace brindle::pictures
