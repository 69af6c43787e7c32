// Writing Opera structures: the mirror of the parsers in DirectoryBlock.h, over the same field
// offsets (Format.h), so that what is written reads back field for field.
#pragma once

#include <cstdint>
#include <span>

#include "opera/Entry.h"

namespace brindle::opera {

// value as four big-endian bytes at offset of out (which must hold them).
void WriteBigEndian32(std::span<std::uint8_t> out, std::size_t offset, std::uint32_t value);

// The label into block0 (2048 bytes, zeroed first): the sync bytes, the comment and the label
// text (each at most 31 bytes, cut otherwise), and every number field; at most eight root copies.
void EncodeVolumeLabel(const VolumeLabel& label, std::span<std::uint8_t> block0);

// The 20-byte header of one directory block.
struct DirectoryBlockHeader {
  std::int32_t next = -1;      // index of the directory's next block; -1 after the last
  std::int32_t previous = -1;  // -1 before the first
  std::uint32_t flags = 0;
  std::uint32_t usedEnd = 0;  // the offset of the first byte after the block's last entry
};
void EncodeDirectoryBlockHeader(const DirectoryBlockHeader& header, std::span<std::uint8_t> block);

// Bytes the entry takes in its block: 72, plus 4 for each copy after the first.
std::size_t EncodedEntryLength(const Entry& entry);

// The entry into out (at least EncodedEntryLength bytes): every field, the name (at most 31
// bytes, cut otherwise) with its zero fill, the last copy index from the number of copies and
// every copy's first block.
void EncodeEntry(const Entry& entry, std::span<std::uint8_t> out);

}  // namespace brindle::opera
