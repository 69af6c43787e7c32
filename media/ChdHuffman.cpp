// The huff codec: a hunk's bytes as one canonical Huffman code of the 256 byte values. The code
// comes first as its lengths (at most 16 bits), which are themselves coded: a small code of 24
// symbols whose own lengths are sent as 3-bit numbers, where symbol n > 0 means "length n - 1"
// and 0 means "the last length again", 2 to 9 more times (3 bits), or more with 8 further bits.
// Codes are handed out longest first, each length starting where the longer ones left off (the
// same rule as the hunk map's code). Bits are read most significant first.
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "media/ChdCodecs.h"

namespace brindle::media::chd {
namespace {

// Reading past the end gives zero bits and marks the reader overrun.
class Bits {
 public:
  explicit Bits(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  // Up to 16 bits.
  std::uint32_t peek(int count) const {
    const std::size_t byte = static_cast<std::size_t>(position_ >> 3);
    std::uint32_t window = 0;
    for (std::size_t i = 0; i < 3; ++i)
      window = window << 8 | (byte + i < bytes_.size() ? bytes_[byte + i] : 0u);
    const int shift = 24 - static_cast<int>(position_ & 7) - count;
    return (window >> shift) & ((1u << count) - 1);
  }
  void skip(int count) { position_ += static_cast<std::uint64_t>(count); }
  std::uint32_t read(int count) {
    const std::uint32_t value = peek(count);
    skip(count);
    return value;
  }
  bool overrun() const { return position_ > bytes_.size() * 8ull; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint64_t position_ = 0;
};

class Code {
 public:
  static constexpr int kMaxBits = 16;

  // False when the lengths do not make a prefix code this reader can use.
  bool build(std::span<const std::uint8_t> lengths) {
    std::array<std::uint32_t, kMaxBits + 1> perLength{};
    int longest = 0;
    for (std::uint8_t length : lengths) {
      if (length > kMaxBits) return false;
      ++perLength[length];
      longest = std::max<int>(longest, length);
    }
    if (longest == 0) return false;
    std::array<std::uint32_t, kMaxBits + 1> next{};
    std::uint32_t start = 0;
    for (int length = kMaxBits; length > 0; --length) {
      const std::uint32_t total = start + perLength[length];
      if (length != 1 && total % 2 != 0) return false;
      next[length] = start;
      start = total / 2;
    }
    bits_ = longest;
    table_.assign(std::size_t{1} << bits_, Entry{});
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
      const int length = lengths[symbol];
      if (length == 0) continue;
      const std::uint32_t code = next[length]++;
      const int shift = bits_ - length;
      const std::uint32_t begin = code << shift;
      const std::uint32_t end = (code + 1) << shift;
      if (end > table_.size()) return false;
      std::fill(table_.begin() + begin, table_.begin() + end,
                Entry{static_cast<std::uint16_t>(symbol), static_cast<std::uint8_t>(length)});
    }
    return true;
  }

  // The next symbol; nothing when the bits start no code.
  std::optional<std::uint16_t> decode(Bits& bits) const {
    const Entry entry = table_[bits.peek(bits_)];
    if (entry.length == 0) return std::nullopt;
    bits.skip(entry.length);
    return entry.symbol;
  }

 private:
  struct Entry {
    std::uint16_t symbol = 0;
    std::uint8_t length = 0;  // 0: no code starts with these bits
  };
  int bits_ = 0;
  std::vector<Entry> table_;
};

class HuffmanDecoder final : public StreamDecoder {
 public:
  bool decode(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) override {
    Bits bits(in);
    if (!readCode(bits)) return false;
    for (std::uint8_t& byte : out) {
      const auto symbol = code_.decode(bits);
      if (!symbol) return false;
      byte = static_cast<std::uint8_t>(*symbol);
    }
    return !bits.overrun();
  }

 private:
  static constexpr int kSymbols = 256;
  static constexpr int kSmallSymbols = 24;
  static constexpr std::uint32_t kStop = 7;  // a small length of 7: this and the rest are unused
  static constexpr int kLongRunBits = 8;     // enough to repeat a length over all 256 symbols

  bool readCode(Bits& bits) {
    std::array<std::uint8_t, kSmallSymbols> small{};
    small[0] = static_cast<std::uint8_t>(bits.read(3));
    const std::uint32_t first = bits.read(3) + 1;
    bool stopped = false;
    for (std::uint32_t symbol = 1; symbol < kSmallSymbols && !stopped; ++symbol) {
      if (symbol < first) continue;
      const std::uint32_t length = bits.read(3);
      stopped = length == kStop;
      small[symbol] = stopped ? 0 : static_cast<std::uint8_t>(length);
    }
    Code smallCode;
    if (!smallCode.build(small)) return false;

    std::array<std::uint8_t, kSymbols> lengths{};
    std::uint8_t last = 0;
    for (int symbol = 0; symbol < kSymbols;) {
      const auto value = smallCode.decode(bits);
      if (!value || bits.overrun()) return false;
      if (*value != 0) {
        last = static_cast<std::uint8_t>(*value - 1);
        lengths[static_cast<std::size_t>(symbol++)] = last;
        continue;
      }
      std::uint32_t run = bits.read(3) + 2;
      if (run == 9) run += bits.read(kLongRunBits);
      for (; run > 0 && symbol < kSymbols; --run)
        lengths[static_cast<std::size_t>(symbol++)] = last;
    }
    return !bits.overrun() && code_.build(lengths);
  }

  Code code_;
};

}  // namespace

std::unique_ptr<StreamDecoder> MakeHuffmanDecoder() {
  return std::make_unique<HuffmanDecoder>();
}

}  // namespace brindle::media::chd
