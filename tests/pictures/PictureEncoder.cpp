#include "PictureEncoder.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

namespace brindle::testing {
namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}
void PutChunk(std::vector<std::uint8_t>& out, const char* id,
              const std::vector<std::uint8_t>& body) {
  out.insert(out.end(), id, id + 4);
  Put32(out, static_cast<std::uint32_t>(body.size() + 8));
  out.insert(out.end(), body.begin(), body.end());
}

// Bits, most significant first.
struct Bits {
  std::vector<std::uint8_t> bytes;
  std::size_t bit = 0;
  void put(std::uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
      if (bit / 8 >= bytes.size()) bytes.push_back(0);
      if ((value >> i) & 1u) bytes[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
      ++bit;
    }
  }
  void padToWords(std::size_t minWords) {
    bit = std::max((bit + 31) / 32 * 32, minWords * 32);
    bytes.resize(bit / 8, 0);
  }
};

}  // namespace

std::uint32_t ColourOf332(std::uint32_t value, bool rep8) {
  const std::uint32_t r = value >> 5 & 7, g = value >> 2 & 7, b = value & 3;
  const std::uint32_t r5 = rep8 ? (r << 2 | r >> 1) : r << 2;
  const std::uint32_t g5 = rep8 ? (g << 2 | g >> 1) : g << 2;
  const std::uint32_t b5 = rep8 ? (b << 3 | b << 1 | b >> 1) : b << 3;
  return r5 << 10 | g5 << 5 | b5;
}

std::vector<std::uint8_t> EncodeBanner(const Rgb555Picture& picture) {
  std::vector<std::uint8_t> out{0x01, 'A', 'P', 'P', 'S', 'C', 'R', 'N'};
  const std::uint32_t pairs = (picture.height + 1) / 2;
  Put32(out, pairs * picture.width * 4);
  Put32(out, picture.height);
  Put32(out, picture.width);
  Put32(out, 16);
  for (std::uint32_t pair = 0; pair < pairs; ++pair)
    for (std::uint32_t x = 0; x < picture.width; ++x) {
      Put16(out, picture.at(x, pair * 2));
      Put16(out, pair * 2 + 1 < picture.height ? picture.at(x, pair * 2 + 1) : 0);
    }
  return out;
}

std::vector<std::uint8_t> EncodeImag(const Rgb555Picture& picture, bool leftRight,
                                     std::uint32_t bytesPerRow) {
  const std::uint32_t stride = bytesPerRow == 0 ? picture.width * 2 : bytesPerRow;
  std::vector<std::uint8_t> control;
  Put32(control, picture.width);
  Put32(control, picture.height);
  Put32(control, bytesPerRow);
  // bits per pixel, components, planes, colour space, compression, hv form, pixel order, version
  control.insert(control.end(), {16, 3, 1, 0, 0, 0, static_cast<std::uint8_t>(leftRight), 0});
  std::vector<std::uint8_t> data;
  if (leftRight) {
    for (std::uint32_t y = 0; y < picture.height; y += 2) {
      const std::size_t start = data.size();
      for (std::uint32_t x = 0; x < picture.width; ++x) {
        Put16(data, picture.at(x, y));
        Put16(data, y + 1 < picture.height ? picture.at(x, y + 1) : 0);
      }
      data.resize(start + stride * 2, 0xEE);
    }
  } else {
    for (std::uint32_t y = 0; y < picture.height; ++y) {
      const std::size_t start = data.size();
      for (std::uint32_t x = 0; x < picture.width; ++x) Put16(data, picture.at(x, y));
      data.resize(start + stride, 0xEE);
    }
  }
  std::vector<std::uint8_t> out;
  PutChunk(out, "IMAG", control);
  PutChunk(out, "PDAT", data);
  return out;
}

std::vector<std::uint8_t> EncodeCel(const Rgb555Picture& picture, const CelForm& form) {
  const std::map<unsigned, std::uint32_t> bppCode{{1, 1}, {2, 2}, {4, 3}, {6, 4}, {8, 5}, {16, 6}};
  // The PLUT: where each colour sits; transparent pixels use a slot holding colour 0.
  std::vector<std::uint16_t> plut(32, 0);
  std::map<std::uint32_t, std::uint32_t> valueOf;  // colour -> pixel value
  if (form.coded) {
    const std::uint32_t reach = form.bpp <= 4 ? 1u << form.bpp : 32u;
    const std::uint32_t base = form.bpp <= 4 ? (form.plutHighBits << form.bpp) & 31u : 0;
    std::uint32_t next = 1;  // value 0 stays colour 0: transparent
    for (std::uint32_t c : picture.pixels) {
      if (c == kClear || valueOf.count(c)) continue;
      if (next >= reach) throw std::invalid_argument("too many colours for the form");
      plut[base + next] = static_cast<std::uint16_t>(c);
      valueOf[c] = next++;
    }
    valueOf[kClear] = 0;
  }
  // A pixel's stored value; the bits the colour does not use carry noise the decoder must skip.
  std::uint32_t noise = 0x5A3C;
  const auto value = [&](std::uint32_t colour) -> std::uint32_t {
    noise = noise * 1103515245u + 12345u;
    if (form.coded) {
      const std::uint32_t v = valueOf.at(colour);
      if (form.bpp == 6) return v | (noise >> 16 & 1u) << 5;
      if (form.bpp == 8) return v | (noise >> 16 & 7u) << 5;
      if (form.bpp == 16) return v | (noise >> 16 & 0x7FEu) << 4;
      return v;
    }
    if (colour == kClear) return 0;
    if (form.bpp == 16) return colour | (noise >> 16 & 1u) << 15;
    for (std::uint32_t v = 1; v < 256; ++v)
      if (ColourOf332(v, form.rep8) == colour) return v;
    throw std::invalid_argument("not a 3:3:2 colour");
  };

  const std::uint32_t rows = form.leftRight ? (picture.height + 1) / 2 : picture.height;
  std::uint32_t pre0 =
      bppCode.at(form.bpp) | (rows - 1) << 6 | (form.coded ? 0 : 0x10u) | (form.rep8 ? 0x08u : 0);
  std::uint32_t pre1 = 0;
  Bits bits;
  if (!form.packed) {
    const std::size_t pixelBits = form.leftRight ? 32 : form.bpp;
    const std::size_t words = std::max<std::size_t>((picture.width * pixelBits + 31) / 32, 2);
    pre1 = (picture.width - 1) | (form.leftRight ? 0x800u : 0);
    pre1 |= form.bpp >= 8 ? static_cast<std::uint32_t>(words - 2) << 16
                          : static_cast<std::uint32_t>(words - 2) << 24;
    for (std::uint32_t row = 0; row < rows; ++row) {
      const std::size_t start = bits.bit;
      for (std::uint32_t x = 0; x < picture.width; ++x) {
        if (form.leftRight) {
          bits.put(value(picture.at(x, row * 2)), 16);
          bits.put(row * 2 + 1 < picture.height ? value(picture.at(x, row * 2 + 1)) : 0, 16);
        } else {
          bits.put(value(picture.at(x, row)), form.bpp);
        }
      }
      bits.bit = start + words * 32;
      bits.bytes.resize(bits.bit / 8, 0);
    }
  } else {
    for (std::uint32_t row = 0; row < picture.height; ++row) {
      const std::size_t start = bits.bit;
      const unsigned offsetBits = form.bpp >= 8 ? 16 : 8;
      bits.put(0, offsetBits);
      for (std::uint32_t x = 0; x < picture.width;) {
        const std::uint32_t c = picture.at(x, row);
        std::uint32_t run = 1;
        while (x + run < picture.width && run < 64 && picture.at(x + run, row) == c) ++run;
        if (c == kClear && (run > 1 || (x + 1) % 3 == 0)) {  // transparent packets, some of one
          bits.put(2, 2);
          bits.put(run - 1, 6);
        } else if (run >= 3) {
          bits.put(3, 2);
          bits.put(run - 1, 6);
          bits.put(value(c), form.bpp);
        } else {
          run = 1;
          while (x + run < picture.width && run < 64 &&
                 !(x + run + 2 < picture.width &&
                   picture.at(x + run, row) == picture.at(x + run + 1, row) &&
                   picture.at(x + run, row) == picture.at(x + run + 2, row)))
            ++run;
          bits.put(1, 2);
          bits.put(run - 1, 6);
          for (std::uint32_t i = 0; i < run; ++i) bits.put(value(picture.at(x + i, row)), form.bpp);
        }
        x += run;
      }
      bits.put(0, 2);  // end of row
      bits.padToWords(0);
      const std::size_t words = std::max<std::size_t>((bits.bit - start) / 32, 2);
      bits.bit = start + words * 32;
      bits.bytes.resize(bits.bit / 8, 0);
      const std::uint32_t offset = static_cast<std::uint32_t>(words - 2);
      const std::size_t at = start / 8;
      if (offsetBits == 16) {
        bits.bytes[at] = static_cast<std::uint8_t>(offset >> 8);
        bits.bytes[at + 1] = static_cast<std::uint8_t>(offset);
      } else {
        bits.bytes[at] = static_cast<std::uint8_t>(offset);
      }
    }
  }

  std::uint32_t flags = 0x00000010 | (form.packed ? 0x200u : 0) | (form.plutHighBits & 15u);
  std::vector<std::uint8_t> data;
  if (form.preambleInCcb) {
    flags |= 0x00400000;
  } else {
    Put32(data, pre0);
    if (!form.packed) Put32(data, pre1);
  }
  data.insert(data.end(), bits.bytes.begin(), bits.bytes.end());
  std::vector<std::uint8_t> ccb;
  Put32(ccb, 0);  // version
  Put32(ccb, flags);
  for (int i = 0; i < 11; ++i) Put32(ccb, 0);  // next, source, PLUT pointers; position; deltas
  Put32(ccb, 0x1F001F00);                      // pixel processor: opaque
  Put32(ccb, form.preambleInCcb ? pre0 : 0);
  Put32(ccb, form.preambleInCcb ? pre1 : 0);
  Put32(ccb, picture.width);
  Put32(ccb, picture.height);
  std::vector<std::uint8_t> out;
  PutChunk(out, "CCB ", ccb);
  if (form.coded) {
    std::vector<std::uint8_t> table;
    Put32(table, 32);
    for (std::uint16_t c : plut) Put16(table, c);
    PutChunk(out, "PLUT", table);
  }
  PutChunk(out, "PDAT", data);
  return out;
}

Rgb555Picture DemoBanner(std::uint32_t seed) {
  Rgb555Picture p{320, 240, std::vector<std::uint32_t>(320 * 240)};
  const double hue = seed * 0.61803398875 * 6.283185307;
  const auto channel = [](double v) {
    return static_cast<std::uint32_t>(std::clamp(v, 0.0, 1.0) * 31.0 + 0.5);
  };
  for (std::uint32_t y = 0; y < p.height; ++y)
    for (std::uint32_t x = 0; x < p.width; ++x) {
      const double dx = (x - 160.0) / 160.0, dy = (y - 120.0) / 120.0;
      const double r = std::sqrt(dx * dx + dy * dy);
      const double angle = std::atan2(dy, dx);
      double shade = 0.35 + 0.45 * (1.0 - y / 240.0);
      switch (seed % 4) {
        case 0:
          shade += r < 0.55 ? 0.4 * std::cos(r * 12.0) : 0.0;
          break;  // rings
        case 1:
          shade += 0.3 * std::cos(angle * 6.0 + r * 4.0);
          break;  // star
        case 2:
          shade += ((x / 32 + y / 32) % 2 == 0) ? 0.25 : -0.1;
          break;  // checks
        default:
          shade += std::abs(dx) + std::abs(dy) < 0.6 ? 0.35 : -0.05;
          break;  // diamond
      }
      const double red = shade * (0.6 + 0.4 * std::cos(hue));
      const double green = shade * (0.6 + 0.4 * std::cos(hue - 2.094));
      const double blue = shade * (0.6 + 0.4 * std::cos(hue + 2.094));
      p.pixels[y * p.width + x] = channel(red) << 10 | channel(green) << 5 | channel(blue);
    }
  return p;
}

}  // namespace brindle::testing
