// The ROM tags table: 32-byte records in the disc's block 1, each naming a system component by
// sub-system type and type, with its version, revision, flags, a type-specific byte and where it
// lies (offset and size). The table ends at a record whose sub-system type and type are both 0.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media/BlockDevice.h"

namespace brindle::opera {

inline constexpr std::uint64_t kRomTagsBlock = 1;
inline constexpr std::size_t kRomTagBytes = 32;

struct RomTag {
  std::uint8_t subsystemType = 0;
  std::uint8_t type = 0;
  std::uint8_t version = 0;
  std::uint8_t revision = 0;
  std::uint8_t flags = 0;
  std::uint8_t typeSpecific = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  bool reservedClear = true;  // bytes 6-7 and 16-31 are zero, as a well-formed tag has them
};

struct RomTags {
  std::vector<RomTag> tags;
  bool ended = false;  // the end record was found inside the block
  media::BlockStatus status = media::BlockStatus::Good;  // of block 1
};

// The tags of a block's bytes, up to the end record (or the block's end, with ended false).
RomTags ParseRomTags(std::span<const std::uint8_t> block);

// Block 1 of the device read and parsed; status says when it could not be read (then no tags).
RomTags ReadRomTags(media::BlockDevice& device);

}  // namespace brindle::opera
