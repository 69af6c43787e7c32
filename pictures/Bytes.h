// Bounds-checked big-endian reads for the picture formats: a field that does not fit in the
// bytes reads as nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace brindle::pictures {

inline std::optional<std::uint32_t> Be32(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
  return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
         std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

inline std::optional<std::uint16_t> Be16(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 2) return std::nullopt;
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// Reads bits most significant first from a byte range; reading past its end sets failed and
// gives zeros, so a decoder checks once per row instead of once per pixel.
class BitReader {
 public:
  BitReader(std::span<const std::uint8_t> bytes, std::size_t firstBit)
      : bytes_(bytes), bit_(firstBit) {}

  std::uint32_t read(unsigned count) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
      const std::size_t byte = bit_ >> 3;
      if (byte >= bytes_.size()) {
        failed_ = true;
        value <<= 1;
      } else {
        value = value << 1 | ((bytes_[byte] >> (7 - (bit_ & 7))) & 1u);
      }
      ++bit_;
    }
    return value;
  }
  bool failed() const { return failed_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t bit_;
  bool failed_ = false;
};

}  // namespace brindle::pictures
