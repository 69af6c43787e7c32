#include "CdSectorEncoder.h"

#include <array>
#include <cstring>

namespace brindle::testing {
namespace {

// GF(2^8) from the primitive polynomial x^8 + x^4 + x^3 + x^2 + 1, through logarithms.
struct Galois {
  std::array<std::uint8_t, 512> exp{};
  std::array<int, 256> log{};
  Galois() {
    int x = 1;
    for (int i = 0; i < 255; ++i) {
      exp[i] = exp[i + 255] = static_cast<std::uint8_t>(x);
      log[x] = i;
      x <<= 1;
      if (x & 0x100) x ^= 0x11D;
    }
  }
  std::uint8_t mul(std::uint8_t a, std::uint8_t b) const {
    return (a == 0 || b == 0) ? 0 : exp[log[a] + log[b]];
  }
  std::uint8_t div(std::uint8_t a, std::uint8_t b) const {
    return a == 0 ? 0 : exp[log[a] + 255 - log[b]];
  }
  std::uint8_t pow(int n) const { return exp[n % 255]; }
};
const Galois kGf;

// The EDC polynomial is given as the product (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), taken
// least significant bit first.
std::uint32_t EdcPolynomialReflected() {
  const std::uint64_t a = (1ull << 16) | (1ull << 15) | (1ull << 2) | 1;
  const std::uint64_t b = (1ull << 16) | (1ull << 2) | (1ull << 1) | 1;
  std::uint64_t product = 0;
  for (int i = 0; i <= 16; ++i)
    if (a >> i & 1) product ^= b << i;
  std::uint32_t reflected = 0;  // x^k (k < 32) goes to bit 31 - k
  for (int k = 0; k < 32; ++k)
    if (product >> k & 1) reflected |= 1u << (31 - k);
  return reflected;
}

std::uint32_t Edc(const std::uint8_t* bytes, std::size_t size) {
  static const std::uint32_t poly = EdcPolynomialReflected();
  std::uint32_t r = 0;
  for (std::size_t i = 0; i < size; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      const std::uint32_t in = (bytes[i] >> bit) & 1;
      const bool feedback = ((r ^ in) & 1) != 0;
      r >>= 1;
      if (feedback) r ^= poly;
    }
  }
  return r;
}

std::uint8_t Bcd(std::uint32_t v) {
  return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10));
}

// Symbols are bytes of the sector from byte 12 on, as 16-bit words: word n is bytes 12 + 2n
// (one plane) and 13 + 2n (the other). A codeword of n data words gets two parity words p0, p1
// such that, with H = [1 ... 1; a^(n+1) ... a^1 1], H times the codeword is zero.
void Protect(std::uint8_t* sector, int words, int length, int count, int (*wordOf)(int, int),
             int parityWord) {
  for (int plane = 0; plane < 2; ++plane) {
    for (int c = 0; c < count; ++c) {
      std::uint8_t s0 = 0, s1 = 0;
      for (int i = 0; i < length; ++i) {
        const std::uint8_t v = sector[12 + 2 * (wordOf(c, i) % words) + plane];
        s0 ^= v;
        s1 ^= kGf.mul(kGf.pow(length + 1 - i), v);
      }
      // s0 + p0 + p1 = 0 and s1 + a p0 + p1 = 0, so (1 + a) p0 = s0 + s1.
      const std::uint8_t p0 = kGf.div(s0 ^ s1, static_cast<std::uint8_t>(1 ^ kGf.pow(1)));
      const std::uint8_t p1 = s0 ^ p0;
      sector[12 + 2 * (parityWord + c) + plane] = p0;
      sector[12 + 2 * (parityWord + count + c) + plane] = p1;
    }
  }
}

}  // namespace

void EncodeCdSector(CdMode mode, std::uint32_t address, std::span<const std::uint8_t, 2048> user,
                    std::span<std::uint8_t, 2352> sector) {
  std::uint8_t* s = sector.data();
  std::memset(s, 0, 2352);
  std::memset(s + 1, 0xFF, 10);
  s[12] = Bcd(address / 75 / 60);
  s[13] = Bcd(address / 75 % 60);
  s[14] = Bcd(address % 75);
  s[15] = mode == CdMode::Mode1 ? 1 : 2;
  std::uint8_t header[4];
  std::memcpy(header, s + 12, 4);
  if (mode == CdMode::Mode1) {
    std::memcpy(s + 16, user.data(), 2048);
    const std::uint32_t edc = Edc(s, 2064);
    for (int i = 0; i < 4; ++i) s[2064 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
  } else {
    // Subheader, twice: file 0, channel 0, submode "data", coding 0.
    s[18] = s[22] = 0x08;
    std::memcpy(s + 24, user.data(), 2048);
    const std::uint32_t edc = Edc(s + 16, 2056);
    for (int i = 0; i < 4; ++i) s[2072 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
    std::memset(s + 12, 0, 4);  // Mode 2 parity treats the header as zeros
  }
  // P: 43 columns of 24 words (word 43 i + c); parity at words 1032 and 1075.
  Protect(
      s, 1032, 24, 43, [](int c, int i) { return 43 * i + c; }, 1032);
  // Q: 26 diagonals of 43 words (word 44 i + 43 d, modulo 1118); parity at words 1118 and 1144.
  Protect(
      s, 1118, 43, 26, [](int d, int i) { return 44 * i + 43 * d; }, 1118);
  std::memcpy(s + 12, header, 4);
}

std::vector<std::uint8_t> EncodeCdTrack(CdMode mode, std::uint32_t firstAddress,
                                        std::span<const std::uint8_t> blocks) {
  const std::size_t count = blocks.size() / 2048;
  std::vector<std::uint8_t> raw(count * 2352);
  for (std::size_t i = 0; i < count; ++i) {
    EncodeCdSector(mode, firstAddress + static_cast<std::uint32_t>(i),
                   blocks.subspan(i * 2048).first<2048>(),
                   std::span(raw).subspan(i * 2352).first<2352>());
  }
  return raw;
}

}  // namespace brindle::testing
