// Parsing Opera structures from their bytes: one directory block into typed entries, block 0
// into the volume label. Pure functions over untrusted bytes: never read outside what they get.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "opera/Entry.h"

namespace brindle::opera {

struct BlockEntries {
  std::vector<Entry> entries;       // present entries, in disc order
  std::optional<OperaFault> fault;  // why the block stopped early; the entries before stay
};

// The entries of one directory block. Entries start at offset 20 and run up to the used-area end
// (offset 12); each is 72 bytes plus 4 per copy after the first. An entry whose presence byte
// (byte 3) is 0 is stepped over, not returned; one cut off by the block's end keeps the bytes it
// has and reads the rest as zeros, except that its name must end within the block. A last copy
// index of 0x80000000 or more counts as 0 when stepping to the next entry.
BlockEntries ParseDirectoryBlock(std::span<const std::uint8_t> block);

// The entry that starts at offset at of block (cut off where the block ends); nothing when its
// name field holds no zero byte within the block.
std::optional<Entry> ParseEntry(std::span<const std::uint8_t> block, std::size_t at);

// The label of block 0; nothing when the block is shorter than the label or lacks the sync bytes.
std::optional<VolumeLabel> ParseVolumeLabel(std::span<const std::uint8_t> block0);

}  // namespace brindle::opera
