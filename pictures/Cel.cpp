// CEL files: the cel control block (CCB) that tells the cel engine how to draw, the pixel lookup
// table (PLUT) that coded pixels index, and the pixel data (PDAT), unpacked or packed.
#include <algorithm>

#include "pictures/Bytes.h"
#include "pictures/Formats.h"

namespace brindle::pictures {
namespace {

constexpr PictureForm kForm = PictureForm::Cel;

// The CCB's flags word.
constexpr std::uint32_t kCcbPre = 0x00400000;  // the preamble words are in the CCB, not in PDAT
constexpr std::uint32_t kCcbPacked = 0x00000200;
constexpr std::uint32_t kCcbBackground = 0x00000020;  // colour 0 is drawn, not transparent
constexpr std::uint32_t kCcbPlutHighBits = 0x0000000F;
// The first preamble word.
constexpr std::uint32_t kPre0Uncoded = 0x00000010;
constexpr std::uint32_t kPre0Rep8 = 0x00000008;
// The second preamble word (unpacked cels only).
constexpr std::uint32_t kPre1LeftRight = 0x00000800;

// Where the CCB chunk keeps its words: id, size, version, then the block itself.
constexpr std::size_t kCcbFlags = 12;
constexpr std::size_t kCcbPre0 = 64;
constexpr std::size_t kCcbPre1 = 68;
constexpr std::size_t kCcbWidth = 72;
constexpr std::size_t kCcbChunkSize = 80;

constexpr unsigned kBitsPerPixel[8] = {0, 1, 2, 4, 6, 8, 16, 0};

// How one source pixel becomes a colour.
struct Colours {
  unsigned bpp = 0;
  bool coded = true;
  bool rep8 = false;
  bool background = false;
  std::uint32_t plutHighBits = 0;
  std::vector<std::uint16_t> plut;

  // 0xRRGGBBAA (0 for transparent), or nothing when a coded pixel points past the PLUT.
  std::optional<std::uint32_t> rgba(std::uint32_t value) const {
    std::uint16_t colour;
    if (coded) {
      // Pixels of four bits or fewer take the PLUT index's high bits from the CCB; wider ones
      // keep their extra high bits for the pixel processor, not the colour.
      const std::uint32_t index = (bpp <= 4 ? (plutHighBits << bpp | value) : value) & 31u;
      if (index >= plut.size()) return std::nullopt;
      colour = plut[index];
    } else if (bpp == 16) {
      colour = static_cast<std::uint16_t>(value);
    } else {  // 8 bits: RRRGGGBB, the missing low bits zero or repeated from the high ones
      const std::uint32_t r = value >> 5 & 7u, g = value >> 2 & 7u, b = value & 3u;
      const std::uint32_t r5 = r << 2 | (rep8 ? r >> 1 : 0);
      const std::uint32_t g5 = g << 2 | (rep8 ? g >> 1 : 0);
      const std::uint32_t b5 = b << 3 | (rep8 ? (b << 1 | b >> 1) : 0);
      colour = static_cast<std::uint16_t>(r5 << 10 | g5 << 5 | b5);
    }
    if ((colour & 0x7FFF) == 0 && !background) return 0u;
    return Rgb555ToRgba(colour);
  }
};

Decoded Unpacked(std::span<const std::uint8_t> data, const Colours& colours, std::uint32_t pre1,
                 std::uint32_t rows) {
  const unsigned bpp = colours.bpp;
  const std::uint32_t width = (pre1 & 0x7FF) + 1;
  const std::uint32_t wordOffset = bpp >= 8 ? (pre1 >> 16 & 0x3FF) : (pre1 >> 24);
  const std::size_t rowBytes = (std::size_t{wordOffset} + 2) * 4;
  const bool leftRight = (pre1 & kPre1LeftRight) != 0;
  if (leftRight && bpp != 16) return Fail(PictureFault::Unsupported, kForm);
  const std::size_t pixelBits = leftRight ? 32 : bpp;
  if ((std::size_t{width} * pixelBits + 7) / 8 > rowBytes)
    return Fail(PictureFault::BadSize, kForm);
  if (rowBytes * rows > data.size()) return Fail(PictureFault::Truncated, kForm);

  const std::uint32_t height = leftRight ? rows * 2 : rows;
  if (height > kMaxSide) return Fail(PictureFault::BadSize, kForm);
  Picture picture{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
  for (std::uint32_t row = 0; row < rows; ++row) {
    BitReader bits(data.subspan(row * rowBytes, rowBytes), 0);
    for (std::uint32_t x = 0; x < width; ++x) {
      if (leftRight) {
        const auto upper = colours.rgba(bits.read(16));
        const auto lower = colours.rgba(bits.read(16));
        if (!upper || !lower) return Fail(PictureFault::BadPixels, kForm);
        picture.set(x, row * 2, *upper);
        picture.set(x, row * 2 + 1, *lower);
      } else {
        const auto colour = colours.rgba(bits.read(bpp));
        if (!colour) return Fail(PictureFault::BadPixels, kForm);
        picture.set(x, row, *colour);
      }
    }
  }
  return {std::move(picture), PictureFault::NotAPicture, kForm};
}

// Packed rows: each begins with the offset to the next row in words, minus 2 (eight bits for
// pixels under 8 bits, else ten bits of a 16-bit field), then packets of a 2-bit type and a
// 6-bit count less one: end of row, literal pixels, transparent pixels, one pixel repeated.
Decoded Packed(std::span<const std::uint8_t> data, const Colours& colours, std::uint32_t width,
               std::uint32_t rows) {
  enum : std::uint32_t { kEndOfRow = 0, kLiteral = 1, kTransparent = 2, kRepeat = 3 };
  const unsigned bpp = colours.bpp;
  if (width == 0 || width > kMaxSide) return Fail(PictureFault::BadSize, kForm);
  // Every row takes at least two words (the last may be cut to one): a lying row count is caught
  // before anything is made.
  if ((std::size_t{rows} - 1) * 8 + 4 > data.size()) return Fail(PictureFault::Truncated, kForm);
  Picture picture{width, rows, std::vector<std::uint8_t>(std::size_t{width} * rows * 4)};
  std::size_t at = 0;
  for (std::uint32_t row = 0; row < rows; ++row) {
    if (data.size() - at < 4) return Fail(PictureFault::Truncated, kForm);
    const std::uint32_t offset = bpp >= 8 ? (*Be16(data, at) & 0x3FFu) : data[at];
    const std::size_t rowBytes = (std::size_t{offset} + 2) * 4;
    const std::size_t rowEnd = std::min(data.size(), at + rowBytes);
    BitReader bits(data.subspan(at, rowEnd - at), bpp >= 8 ? 16 : 8);
    std::uint32_t x = 0;
    while (x < width) {
      const std::uint32_t type = bits.read(2);
      if (type == kEndOfRow) break;
      const std::uint32_t count = bits.read(6) + 1;
      if (type == kTransparent) {
        x += count;
        continue;
      }
      std::optional<std::uint32_t> colour;
      for (std::uint32_t i = 0; i < count; ++i) {
        if (type == kLiteral || i == 0) colour = colours.rgba(bits.read(bpp));
        if (!colour) return Fail(PictureFault::BadPixels, kForm);
        if (x < width) picture.set(x, row, *colour);
        ++x;
      }
      if (bits.failed()) break;
    }
    if (bits.failed()) return Fail(PictureFault::BadPixels, kForm);
    if (at + rowBytes > data.size() && row + 1 < rows) return Fail(PictureFault::Truncated, kForm);
    at += rowBytes;
  }
  return {std::move(picture), PictureFault::NotAPicture, kForm};
}

}  // namespace

Decoded DecodeCel(std::span<const std::uint8_t> bytes, const ChunkList& list) {
  const Chunk* ccb = FindChunk(list.chunks, "CCB ");
  if (ccb->size < kCcbChunkSize) return Fail(PictureFault::BadSize, kForm);
  const auto block = bytes.subspan(ccb->offset, ccb->size);
  const std::uint32_t flags = *Be32(block, kCcbFlags);

  const Chunk* pdat = FindChunk(list.chunks, "PDAT");
  if (pdat == nullptr)
    return Fail(list.cutAt("PDAT") ? PictureFault::Truncated : PictureFault::MissingChunk, kForm);
  auto data = bytes.subspan(pdat->offset + 8, pdat->size - 8);

  const bool packed = (flags & kCcbPacked) != 0;
  std::uint32_t pre0 = *Be32(block, kCcbPre0);
  std::uint32_t pre1 = *Be32(block, kCcbPre1);
  if ((flags & kCcbPre) == 0) {  // the preamble leads the pixel data: one word, two unpacked
    const std::size_t words = packed ? 1 : 2;
    if (data.size() < words * 4) return Fail(PictureFault::Truncated, kForm);
    pre0 = *Be32(data, 0);
    if (!packed) pre1 = *Be32(data, 4);
    data = data.subspan(words * 4);
  }

  Colours colours;
  colours.bpp = kBitsPerPixel[pre0 & 7];
  colours.coded = (pre0 & kPre0Uncoded) == 0;
  colours.rep8 = (pre0 & kPre0Rep8) != 0;
  colours.background = (flags & kCcbBackground) != 0;
  colours.plutHighBits = flags & kCcbPlutHighBits;
  if (colours.bpp == 0) return Fail(PictureFault::Unsupported, kForm);
  if (!colours.coded && colours.bpp < 8) return Fail(PictureFault::Unsupported, kForm);
  if (colours.coded) {
    const Chunk* plut = FindChunk(list.chunks, "PLUT");
    if (plut == nullptr)
      return Fail(list.cutAt("PLUT") ? PictureFault::Truncated : PictureFault::MissingChunk, kForm);
    const auto table = bytes.subspan(plut->offset, plut->size);
    const auto count = Be32(table, 8);
    if (!count) return Fail(PictureFault::Truncated, kForm);
    if (*count > (table.size() - 12) / 2) return Fail(PictureFault::Truncated, kForm);
    // The engine holds 32 colours; more in the file are never reached.
    for (std::uint32_t i = 0; i < std::min<std::uint32_t>(*count, 32); ++i)
      colours.plut.push_back(*Be16(table, 12 + std::size_t{i} * 2));
  }

  const std::uint32_t rows = (pre0 >> 6 & 0x3FF) + 1;
  if (packed) return Packed(data, colours, *Be32(block, kCcbWidth), rows);
  return Unpacked(data, colours, pre1, rows);
}

}  // namespace brindle::pictures
