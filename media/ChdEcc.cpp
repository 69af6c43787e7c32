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

// Where the symbols of each codeword lie in the protected area, symbol by symbol: codeword c
// starts at byte (c / 2) * startStep + (c % 2) and steps `step` bytes, wrapping at the area's
// end (the Q diagonals wrap).
template <std::size_t Codewords, std::size_t Length>
using Walk = std::array<std::array<std::uint16_t, Codewords>, Length>;

template <std::size_t Codewords, std::size_t Length>
constexpr Walk<Codewords, Length> MakeWalk(std::size_t startStep, std::size_t step) {
  Walk<Codewords, Length> walk{};
  for (std::size_t c = 0; c < Codewords; ++c) {
    std::size_t at = (c / 2) * startStep + (c % 2);
    for (std::size_t i = 0; i < Length; ++i) {
      walk[i][c] = static_cast<std::uint16_t>(at);
      at = (at + step) % (Codewords * Length);
    }
  }
  return walk;
}
constexpr auto kPWalk = MakeWalk<86, 24>(2, 86);
constexpr auto kQWalk = MakeWalk<52, 43>(86, 88);

// Parity for every codeword of a walk: parity symbols go to parity[c] and
// parity[Codewords + c]. All codewords advance together, one symbol each per round: their sums
// are independent, so the processor works on many at once.
template <std::size_t Codewords, std::size_t Length>
void Parity(const std::uint8_t* area, const Walk<Codewords, Length>& walk, std::uint8_t* parity) {
  // Each codeword's sum of symbols, and (Horner) of symbol_i * alpha^(Length - i).
  std::array<std::uint8_t, Codewords> sum{};
  std::array<std::uint8_t, Codewords> weighted{};
  for (const auto& round : walk) {
    for (std::size_t c = 0; c < Codewords; ++c) {
      const std::uint8_t symbol = area[round[c]];
      sum[c] ^= symbol;
      weighted[c] = kField.timesAlpha[weighted[c] ^ symbol];
    }
  }
  for (std::size_t c = 0; c < Codewords; ++c) {
    // With one more factor of alpha the weights run from alpha^(Length + 1) down to alpha^2,
    // leaving alpha^1 and alpha^0 to the two parity symbols.
    const std::uint8_t first = kField.overOnePlusAlpha[kField.timesAlpha[weighted[c]] ^ sum[c]];
    parity[c] = first;
    parity[Codewords + c] = first ^ sum[c];
  }
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
  Parity(area, kPWalk, sector.data() + kPParityAt);
  Parity(area, kQWalk, sector.data() + kQParityAt);
  if (mode2) std::copy_n(header.begin(), kHeaderBytes, area);
}

}  // namespace brindle::media::chd
