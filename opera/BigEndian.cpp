#include "opera/BigEndian.h"

namespace brindle::opera {

std::int32_t ReadBigEndian32(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4 || bytes[0] >= 0x80) return 0;
  return static_cast<std::int32_t>(std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                   std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]});
}

std::int32_t ReadBigEndian32At(std::span<const std::uint8_t> data, std::size_t offset) {
  if (offset >= data.size()) return 0;
  return ReadBigEndian32(data.subspan(offset));
}

}  // namespace brindle::opera
