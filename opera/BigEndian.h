// Big-endian fields of Opera structures.
#pragma once

#include <cstdint>
#include <span>

namespace brindle::opera {

// The first four bytes as a big-endian signed 32-bit value; 0 when the first byte is 0x80 or more
// (the value does not fit in 31 bits) or when fewer than four bytes are given. Never fails.
std::int32_t ReadBigEndian32(std::span<const std::uint8_t> bytes);

// The four bytes at offset of data, read as above; 0 when they run past the end of data.
std::int32_t ReadBigEndian32At(std::span<const std::uint8_t> data, std::size_t offset);

}  // namespace brindle::opera
