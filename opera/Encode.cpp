#include "opera/Encode.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "opera/Format.h"

namespace brindle::opera {
namespace {

// text into a zero-filled field of length bytes, keeping room for its ending zero.
void WriteText(std::span<std::uint8_t> out, std::size_t offset, std::size_t length,
               const std::string& text) {
  std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(offset), length, std::uint8_t{0});
  std::memcpy(out.data() + offset, text.data(), std::min(text.size(), length - 1));
}

}  // namespace

void WriteBigEndian32(std::span<std::uint8_t> out, std::size_t offset, std::uint32_t value) {
  out[offset] = static_cast<std::uint8_t>(value >> 24);
  out[offset + 1] = static_cast<std::uint8_t>(value >> 16);
  out[offset + 2] = static_cast<std::uint8_t>(value >> 8);
  out[offset + 3] = static_cast<std::uint8_t>(value);
}

void EncodeVolumeLabel(const VolumeLabel& label, std::span<std::uint8_t> block0) {
  std::fill(block0.begin(), block0.end(), std::uint8_t{0});
  block0[kRecordTypeOffset] = label.recordType;
  std::memcpy(block0.data() + kSyncOffset, kSyncBytes, kSyncLength);
  block0[kVersionOffset] = label.version;
  block0[kLabelFlagsOffset] = label.flags;
  WriteText(block0, kCommentOffset, kLabelTextLength, label.comment);
  WriteText(block0, kLabelTextOffset, kLabelTextLength, label.label);
  WriteBigEndian32(block0, kVolumeIdOffset, label.id);
  WriteBigEndian32(block0, kVolumeBlockSizeOffset, label.blockSize);
  WriteBigEndian32(block0, kVolumeBlocksOffset, label.blockCount);
  WriteBigEndian32(block0, kRootIdOffset, label.rootId);
  WriteBigEndian32(block0, kRootBlockCountOffset, label.rootBlockCount);
  WriteBigEndian32(block0, kRootBlockSizeOffset, label.rootBlockSize);
  const std::size_t copies = std::min(label.rootCopies.size(), kMaxRootCopies);
  WriteBigEndian32(block0, kRootLastCopyOffset,
                   copies == 0 ? 0 : static_cast<std::uint32_t>(copies - 1));
  for (std::size_t c = 0; c < copies; ++c)
    WriteBigEndian32(block0, kRootCopiesOffset + 4 * c, label.rootCopies[c]);
}

void EncodeDirectoryBlockHeader(const DirectoryBlockHeader& header, std::span<std::uint8_t> block) {
  WriteBigEndian32(block, kNextBlockOffset, static_cast<std::uint32_t>(header.next));
  WriteBigEndian32(block, kPreviousBlockOffset, static_cast<std::uint32_t>(header.previous));
  WriteBigEndian32(block, kDirectoryFlagsOffset, header.flags);
  WriteBigEndian32(block, kUsedEndOffset, header.usedEnd);
  WriteBigEndian32(block, kFirstEntryFieldOffset, kFirstEntryOffset);
}

std::size_t EncodedEntryLength(const Entry& entry) {
  return kEntryLength + 4 * (entry.copies.empty() ? 0 : entry.copies.size() - 1);
}

void EncodeEntry(const Entry& entry, std::span<std::uint8_t> out) {
  std::fill_n(out.begin(), kEntryLength, std::uint8_t{0});
  WriteBigEndian32(out, kFlagsOffset, entry.flags);
  WriteBigEndian32(out, kIdOffset, entry.id);
  std::copy(entry.type.begin(), entry.type.end(), out.begin() + kTypeOffset);
  WriteBigEndian32(out, kEntryBlockSizeOffset, entry.blockSize);
  WriteBigEndian32(out, kSizeOffset, entry.byteCount);
  WriteBigEndian32(out, kBlockCountOffset, entry.blockCount);
  WriteBigEndian32(out, kBurstOffset, entry.burst);
  WriteBigEndian32(out, kGapOffset, entry.gap);
  WriteText(out, kNameOffset, kNameFieldLength, entry.name);
  const std::size_t copies = std::max<std::size_t>(entry.copies.size(), 1);
  WriteBigEndian32(out, kLastCopyOffset, static_cast<std::uint32_t>(copies - 1));
  for (std::size_t c = 0; c < copies; ++c)
    WriteBigEndian32(out, kFirstBlockOffset + 4 * c, c < entry.copies.size() ? entry.copies[c] : 0);
}

}  // namespace brindle::opera
