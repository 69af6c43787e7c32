// The picture forms decoded against pictures whose pixels are known: each is written by the
// test's own encoder from a known picture, decoded, and compared pixel for pixel; then cut short
// and given lying headers, which must be refused.
#include <gtest/gtest.h>

#include <cstring>

#include "PictureEncoder.h"
#include "pictures/Picture.h"
#include "pictures/Scale.h"

namespace {

using brindle::pictures::DecodePicture;
using brindle::pictures::Picture;
using brindle::pictures::PictureFault;
using brindle::testing::CelForm;
using brindle::testing::kClear;
using brindle::testing::Rgb555Picture;

// A picture of the given colours laid out in runs of varied length (so packed rows use every
// packet type), with transparent stretches when clear is set.
Rgb555Picture Known(std::uint32_t width, std::uint32_t height, std::vector<std::uint32_t> colours,
                    bool clear) {
  Rgb555Picture p{width, height, {}};
  std::uint32_t state = 7;
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const std::uint32_t pick = (x / (1 + y % 5) + y + (state >> 28)) % (colours.size() + clear);
      // Long runs on some rows, beyond one packet's 64 pixels.
      const std::uint32_t colour = pick < colours.size() ? colours[pick] : kClear;
      p.pixels.push_back(
          y % 4 == 3 ? (x < width / 2 ? colours[0] : (clear ? kClear : colours.back())) : colour);
    }
  return p;
}

std::vector<std::uint32_t> Palette(std::size_t count) {
  std::vector<std::uint32_t> colours;
  for (std::uint32_t i = 0; i < count; ++i)
    colours.push_back(((i * 7 + 3) % 32) << 10 | ((i * 13 + 1) % 32) << 5 | (31 - i % 32));
  colours[0] = 0x7FFF;  // white: every bit widens to 255
  return colours;
}

// Every pixel as known: transparent where clear, else the colour widened to 8 bits per channel.
void ExpectSame(const Rgb555Picture& known, const Picture& decoded, const std::string& what) {
  ASSERT_EQ(decoded.width, known.width) << what;
  ASSERT_EQ(decoded.height, known.height) << what;
  int wrong = 0;
  for (std::uint32_t y = 0; y < known.height; ++y)
    for (std::uint32_t x = 0; x < known.width; ++x) {
      const std::uint32_t c = known.at(x, y);
      const auto widen = [](std::uint32_t five) { return five << 3 | five >> 2; };
      const std::uint32_t want =
          c == kClear
              ? 0u
              : widen(c >> 10 & 31) << 24 | widen(c >> 5 & 31) << 16 | widen(c & 31) << 8 | 0xFF;
      if (decoded.at(x, y) != want && ++wrong <= 3)
        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is " << std::hex
                      << decoded.at(x, y) << ", not " << want;
    }
  EXPECT_EQ(wrong, 0) << what;
}

struct CelCase {
  CelForm form;
  std::string name;
};

std::vector<CelCase> EveryCelForm() {
  std::vector<CelCase> cases;
  for (unsigned bpp : {1u, 2u, 4u, 6u, 8u, 16u})
    for (bool coded : {true, false})
      for (bool packed : {false, true}) {
        if (!coded && bpp < 8) continue;
        for (bool leftRight : {false, true}) {
          if (leftRight && (bpp != 16 || packed)) continue;
          CelForm form;
          form.bpp = bpp;
          form.coded = coded;
          form.packed = packed;
          form.leftRight = leftRight;
          form.preambleInCcb = (bpp + packed) % 2 == 0;
          form.rep8 = bpp == 8 && packed;
          form.plutHighBits = bpp <= 4 ? 0xB : 0;
          cases.push_back({form, std::to_string(bpp) + (coded ? " coded" : " uncoded") +
                                     (packed ? " packed" : " unpacked") +
                                     (leftRight ? " left/right" : "")});
        }
      }
  return cases;
}

Rgb555Picture PictureFor(const CelForm& form) {
  const std::uint32_t width = 150, height = 10;  // rows of more than 64 pixels, not word-aligned
  if (!form.coded && form.bpp == 8) {
    std::vector<std::uint32_t> colours;
    for (std::uint32_t v : {0xFFu, 0x25u, 0xE0u, 0x1Cu, 0x03u, 0x92u})
      colours.push_back(brindle::testing::ColourOf332(v, form.rep8));
    return Known(width, height, colours, true);
  }
  const std::size_t reach = form.coded ? (form.bpp <= 4 ? (1u << form.bpp) : 32u) : 40u;
  return Known(width, height, Palette(reach - 1), form.coded || form.packed || form.bpp == 16);
}

TEST(Cel, EveryPixelFormDecodesToTheKnownPicture) {
  for (const CelCase& c : EveryCelForm()) {
    const Rgb555Picture known = PictureFor(c.form);
    const auto decoded = DecodePicture(brindle::testing::EncodeCel(known, c.form));
    ASSERT_TRUE(decoded.picture) << c.name << ": " << brindle::pictures::ToText(decoded.fault);
    ExpectSame(known, *decoded.picture, c.name);
  }
}

TEST(BannerAndImag, DecodeToTheKnownPicture) {
  // Odd sizes: the left/right forms' last line pair is half used.
  for (std::uint32_t height : {240u, 7u}) {
    const Rgb555Picture known = Known(height == 240 ? 320 : 5, height, Palette(32), false);
    ExpectSame(known, *DecodePicture(brindle::testing::EncodeBanner(known)).picture, "banner");
    ExpectSame(known, *DecodePicture(brindle::testing::EncodeImag(known, false)).picture, "IMAG");
    ExpectSame(known, *DecodePicture(brindle::testing::EncodeImag(known, true)).picture,
               "IMAG left/right");
    ExpectSame(
        known,
        *DecodePicture(brindle::testing::EncodeImag(known, false, known.width * 2 + 6)).picture,
        "IMAG padded rows");
  }
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

TEST(Refused, EveryCutAndLyingHeader) {
  const Rgb555Picture known = Known(40, 6, Palette(15), true);
  CelForm packed;
  packed.bpp = 4;
  packed.packed = true;
  CelForm unpacked;
  unpacked.bpp = 8;
  unpacked.preambleInCcb = false;
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files{
      {"banner", brindle::testing::EncodeBanner(Known(40, 6, Palette(15), false))},
      {"IMAG", brindle::testing::EncodeImag(Known(40, 6, Palette(15), false), true)},
      {"packed CEL", brindle::testing::EncodeCel(known, packed)},
      {"unpacked CEL", brindle::testing::EncodeCel(known, unpacked)},
  };
  // Every cut: refused, never a part of the picture. (Each cut is a fresh copy, so a read past
  // the end shows under the address sanitizer.)
  for (const auto& [name, bytes] : files) {
    ASSERT_TRUE(DecodePicture(bytes).picture) << name;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
      const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + size);
      EXPECT_FALSE(DecodePicture(cut).picture) << name << " cut to " << size;
    }
  }
  // Cut after the pixel chunk's id: cut off, not missing that chunk.
  for (const auto& [name, bytes] : files) {
    const std::size_t pdat = std::string(bytes.begin(), bytes.end()).find("PDAT");
    if (pdat == std::string::npos) continue;
    EXPECT_EQ(DecodePicture(std::span(bytes).first(pdat + 4)).fault, PictureFault::Truncated)
        << name;
    if (name != "packed CEL") continue;
    std::vector<std::uint8_t> lying = bytes;  // the first row says the next is far past the data
    lying[pdat + 8] = 0xFF;
    EXPECT_EQ(DecodePicture(lying).fault, PictureFault::Truncated);
  }
  // Lying fields: (file, offset of a 32-bit field, value, the fault expected).
  const std::uint32_t huge = 0xFFFFFFFF;
  const std::vector<std::tuple<int, std::size_t, std::uint32_t, PictureFault>> lies{
      {0, 8, huge, PictureFault::Truncated},              // banner: pixel bytes past the file
      {0, 8, 0, PictureFault::BadSize},                   // banner: no pixel bytes
      {0, 12, 0, PictureFault::BadSize},                  // banner: no lines
      {0, 16, 100000, PictureFault::BadSize},             // banner: a width no screen has
      {0, 20, 8, PictureFault::Unsupported},              // banner: not 16 bits per pixel
      {1, 8, huge, PictureFault::BadSize},                // IMAG width
      {1, 12, 2000, PictureFault::Truncated},             // IMAG height past the pixels
      {1, 4, huge, PictureFault::Truncated},              // IMAG chunk size past the file
      {2, 4, 0, PictureFault::Truncated},                 // CCB chunk size 0: the chunks stop there
      {2, 64, 0x3 | 1000 << 6, PictureFault::Truncated},  // CCB: rows the data cannot hold
      {2, 72, 0, PictureFault::BadSize},                  // CCB: packed width 0
      {2, 80 + 8, huge, PictureFault::Truncated},         // PLUT: more colours than the chunk holds
      {3, 80 + 76 + 12, 1000 << 16 | 39, PictureFault::Truncated},  // PRE1: rows past the data
      {3, 80 + 76 + 12, 0x7FF, PictureFault::BadSize},  // PRE1: a row wider than its words
  };
  for (const auto& [file, at, value, fault] : lies) {
    std::vector<std::uint8_t> bytes = files[file].second;
    Put32(bytes, at, value);
    const auto decoded = DecodePicture(bytes);
    EXPECT_FALSE(decoded.picture) << files[file].first << " field " << at;
    EXPECT_EQ(decoded.fault, fault) << files[file].first << " field " << at;
  }
  const std::string text = "plain text, no picture at all";
  EXPECT_EQ(DecodePicture({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}).fault,
            PictureFault::NotAPicture);
}

TEST(Scale, AveragesAreasAndKeepsProportions) {
  // 320 x 240 of one-pixel checks: each thumbnail pixel covers both colours half and half.
  Picture checks{320, 240, std::vector<std::uint8_t>(320 * 240 * 4)};
  for (std::uint32_t y = 0; y < 240; ++y)
    for (std::uint32_t x = 0; x < 320; ++x)
      checks.set(x, y, ((x + y) % 2) ? 0xFFFFFFFF : 0x000000FF);
  const Picture small = brindle::pictures::FitWithin(checks, 32);
  EXPECT_EQ(small.width, 32u);
  EXPECT_EQ(small.height, 24u);
  for (std::uint32_t y = 0; y < small.height; ++y)
    for (std::uint32_t x = 0; x < small.width; ++x) {
      const std::uint32_t grey = small.at(x, y) >> 24;
      EXPECT_NEAR(grey, 127.5, 1) << x << "," << y;
      EXPECT_EQ(small.at(x, y) & 0xFF, 0xFFu);
    }
  // Transparent pixels lend no colour: a half-clear red area stays pure red, half opaque.
  Picture half{4, 2, std::vector<std::uint8_t>(4 * 2 * 4)};
  for (std::uint32_t x = 0; x < 4; ++x) half.set(x, 0, 0xFF0000FF);
  const Picture one = brindle::pictures::FitWithin(half, 1);
  ASSERT_EQ(one.width, 1u);
  EXPECT_EQ(one.at(0, 0), 0xFF000080u);
  // Sides rounded to the nearest pixel: 300 x 200 in 256 is 256 x 171 (170.67).
  EXPECT_EQ(
      brindle::pictures::FitWithin(Picture{300, 200, std::vector<std::uint8_t>(300 * 200 * 4)}, 256)
          .height,
      171u);
  // Never enlarged.
  EXPECT_EQ(brindle::pictures::FitWithin(half, 256).width, 4u);
}

}  // namespace
