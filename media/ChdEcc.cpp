// The P and Q error-correction bytes of a CD-ROM sector, rebuilt where the CD codecs left them
// out: the hunk CRC covers the sector as it was, ECC included.
//
// The 2064 bytes from the header to the end of the intermediate field (with P, 2236 bytes for Q)
// are read as 16-bit words in two interleaved byte planes. P protects 43 columns of 24 words,
// Q 26 diagonals of 43 words; each codeword gets two Reed-Solomon parity symbols over GF(2^8)
// (x^8 + x^4 + x^3 + x^2 + 1) such that the symbols sum to zero and, weighted by powers of
// alpha from the end, sum to zero too.
#include <algorithm>
#include <array>
#include <cstring>

#include "media/ChdCodecs.h"

namespace brindle::media::chd {
namespace {

constexpr std::size_t kProtectedStart = 12;  // the header, after the sync pattern
constexpr std::size_t kHeaderBytes = 4;      // address (3) and mode (1)
constexpr std::size_t kModeAt = 15;
constexpr std::size_t kPParityAt = 2076;
constexpr std::size_t kQParityAt = 2248;

struct Field {
  std::array<std::uint8_t, 256> timesAlpha{};
  std::array<std::uint8_t, 256> overOnePlusAlpha{};  // x / (1 + alpha)
};

constexpr Field MakeField() {
  Field field;
  for (int x = 0; x < 256; ++x) {
    const int doubled = x << 1;
    field.timesAlpha[x] = static_cast<std::uint8_t>((doubled & 0x100) ? doubled ^ 0x11D : doubled);
  }
  // (1 + alpha) * x is a bijection; invert it.
  for (int x = 0; x < 256; ++x)
    field.overOnePlusAlpha[x ^ field.timesAlpha[x]] = static_cast<std::uint8_t>(x);
  return field;
}
constexpr Field kField = MakeField();

// Eight field symbols side by side in one 64-bit word, each multiplied by alpha: shifted left
// within its byte, the reduction polynomial's low bits put back where a bit fell out.
inline std::uint64_t TimesAlpha8(std::uint64_t x) {
  const std::uint64_t high = (x >> 7) & 0x0101010101010101;
  return ((x & 0x7F7F7F7F7F7F7F7F) << 1) ^ (high * 0x1D);
}

std::uint64_t Load64(const std::uint8_t* bytes) {
  std::uint64_t x;
  std::memcpy(&x, bytes, sizeof x);
  return x;
}

std::uint64_t Load16(const std::uint8_t* bytes) {
  std::uint16_t x;
  std::memcpy(&x, bytes, sizeof x);
  return x;
}

// Turns each codeword's sum of symbols and its (Horner) sum of symbol_i * alpha^(Length - i)
// into its two parity symbols, at parity[c] and parity[codewords + c].
void FinishParity(const std::uint8_t* sum, const std::uint8_t* weighted, std::size_t codewords,
                  std::uint8_t* parity) {
  for (std::size_t c = 0; c < codewords; ++c) {
    // With one more factor of alpha the weights run from alpha^(Length + 1) down to alpha^2,
    // leaving alpha^1 and alpha^0 to the two parity symbols.
    const std::uint8_t first = kField.overOnePlusAlpha[kField.timesAlpha[weighted[c]] ^ sum[c]];
    parity[c] = first;
    parity[codewords + c] = first ^ sum[c];
  }
}

// P: codeword c (of 86) takes byte c of each of the 24 rows of 86 bytes, so a row holds one
// symbol of every codeword in order and the codewords advance together, eight per word. The
// last word of a row reads two bytes of the next (or of the parity after the last row): those
// lanes belong to no codeword and are dropped.
constexpr std::size_t kPCodewords = 86;
constexpr std::size_t kPLength = 24;
constexpr std::size_t kPWords = (kPCodewords + 7) / 8;

void PParity(const std::uint8_t* area, std::uint8_t* parity) {
  std::array<std::uint64_t, kPWords> sum{};
  std::array<std::uint64_t, kPWords> weighted{};
  for (std::size_t row = 0; row < kPLength; ++row) {
    const std::uint8_t* symbols = area + row * kPCodewords;
    for (std::size_t w = 0; w < kPWords; ++w) {
      const std::uint64_t x = Load64(symbols + 8 * w);
      sum[w] ^= x;
      weighted[w] = TimesAlpha8(weighted[w] ^ x);
    }
  }
  std::array<std::uint8_t, 8 * kPWords> sumBytes;
  std::array<std::uint8_t, 8 * kPWords> weightedBytes;
  std::memcpy(sumBytes.data(), sum.data(), sizeof sum);
  std::memcpy(weightedBytes.data(), weighted.data(), sizeof weighted);
  FinishParity(sumBytes.data(), weightedBytes.data(), kPCodewords, parity);
}

// Q: the 2236 bytes as 1118 two-byte words; the codeword pair k (of 26) takes word
// 43 * k + 44 * i (wrapping at the end) as its symbol pair i (of 43): round i reads every 86th
// byte from 88 * i on. Over the area written out twice no read wraps, and the pairs of a round
// lie at fixed distances from its start. Each round gathers one pair of every codeword into
// words of four pairs; the pairs stay whole, so each of their bytes keeps its own lane.
constexpr std::size_t kQPairs = 26;
constexpr std::size_t kQLength = 43;
constexpr std::size_t kQArea = 2 * kQPairs * kQLength;  // 2236
constexpr std::size_t kQRowStep = 86;
constexpr std::size_t kQRoundStep = 88;
constexpr std::size_t kQWords = (kQPairs + 3) / 4;
// The last round may start just before the area's end; its lanes past the last pair read on,
// into a second copy's tail taken from the bytes after the area (the Q parity, still inside the
// sector). Only those dropped lanes see them.
constexpr std::size_t kQTwiceSize = kQArea - 2 + kQRowStep * (4 * kQWords - 1) + 2;

void QParity(const std::uint8_t* area, std::uint8_t* parity) {
  std::array<std::uint8_t, kQTwiceSize> twice;
  std::memcpy(twice.data(), area, kQArea);
  std::memcpy(twice.data() + kQArea, area, kQTwiceSize - kQArea);
  std::array<std::uint64_t, kQWords> sum{};
  std::array<std::uint64_t, kQWords> weighted{};
  std::size_t start = 0;
  for (std::size_t i = 0; i < kQLength; ++i) {
    const std::uint8_t* round = twice.data() + start;
    for (std::size_t w = 0; w < kQWords; ++w) {
      const std::uint8_t* pairs = round + kQRowStep * 4 * w;
      const std::uint64_t x = Load16(pairs) | Load16(pairs + kQRowStep) << 16 |
                              Load16(pairs + 2 * kQRowStep) << 32 |
                              Load16(pairs + 3 * kQRowStep) << 48;
      sum[w] ^= x;
      weighted[w] = TimesAlpha8(weighted[w] ^ x);
    }
    start = (start + kQRoundStep) % kQArea;
  }
  // Back to bytes pair by pair, the way they were gathered, so the byte order of the words
  // does not matter.
  std::array<std::uint8_t, 8 * kQWords> sumBytes;
  std::array<std::uint8_t, 8 * kQWords> weightedBytes;
  for (std::size_t k = 0; k < 4 * kQWords; ++k) {
    const auto s = static_cast<std::uint16_t>(sum[k / 4] >> (16 * (k % 4)));
    const auto t = static_cast<std::uint16_t>(weighted[k / 4] >> (16 * (k % 4)));
    std::memcpy(sumBytes.data() + 2 * k, &s, sizeof s);
    std::memcpy(weightedBytes.data() + 2 * k, &t, sizeof t);
  }
  FinishParity(sumBytes.data(), weightedBytes.data(), 2 * kQPairs, parity);
}

}  // namespace

void RebuildSyncAndEcc(std::span<std::uint8_t, 2352> sector) {
  sector[0] = 0;
  for (int i = 1; i <= 10; ++i) sector[i] = 0xFF;
  sector[11] = 0;
  std::uint8_t* area = sector.data() + kProtectedStart;
  // A Mode 2 (Form 1) sector's ECC leaves its header out: the four header bytes count as zero,
  // so the parity stays valid when the sector is moved to another address.
  std::array<std::uint8_t, kHeaderBytes> header{};
  const bool mode2 = sector[kModeAt] == 2;
  if (mode2) {
    std::copy_n(area, kHeaderBytes, header.begin());
    std::fill_n(area, kHeaderBytes, 0);
  }
  PParity(area, sector.data() + kPParityAt);
  QParity(area, sector.data() + kQParityAt);
  if (mode2) std::copy_n(header.begin(), kHeaderBytes, area);
}

}  // namespace brindle::media::chd
