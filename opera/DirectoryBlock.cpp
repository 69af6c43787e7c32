#include "opera/DirectoryBlock.h"

#include <algorithm>

#include "opera/Format.h"

namespace brindle::opera {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;

// The four bytes at offset as an unsigned big-endian number; 0 when they are not all there.
std::uint32_t Raw32(std::span<const std::uint8_t> data, std::size_t offset) {
  if (offset > data.size() || data.size() - offset < 4) return 0;
  return std::uint32_t{data[offset]} << 24 | std::uint32_t{data[offset + 1]} << 16 |
         std::uint32_t{data[offset + 2]} << 8 | std::uint32_t{data[offset + 3]};
}

// Bytes of a text field up to its first zero; nothing when no zero lies within the field.
std::optional<std::string> Text(std::span<const std::uint8_t> data, std::size_t offset,
                                std::size_t length) {
  if (offset >= data.size()) return std::nullopt;
  const auto field = data.subspan(offset, std::min(length, data.size() - offset));
  const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
  if (end == field.end()) return std::nullopt;
  return std::string(field.begin(), end);
}

}  // namespace

const char* ToText(OperaFault fault) {
  switch (fault) {
    case OperaFault::NoSync:
      return "not an Opera volume (no \"ZZZZZ\" in block 0)";
    case OperaFault::UsedEndTooLarge:
      return "directory block's used-area end beyond 32,767";
    case OperaFault::EntryPastLimit:
      return "directory entry position beyond 32,767";
    case OperaFault::NameUnterminated:
      return "entry name without an ending zero byte";
    case OperaFault::BlockCountTooLarge:
      return "directory of more than 32,767 blocks";
  }
  return "unknown fault";
}

bool Entry::isDirectory() const {
  return type == std::array<std::uint8_t, 4>{'*', 'd', 'i', 'r'};
}

std::string Entry::typeText() const {
  std::string text;
  for (std::uint8_t c : type)
    if (c != 0) text += static_cast<char>(c);
  return text;
}

std::optional<Entry> ParseEntry(std::span<const std::uint8_t> block, std::size_t at) {
  const auto bytes = at < block.size()
                         ? block.subspan(at, std::min(kEntryLength, block.size() - at))
                         : std::span<const std::uint8_t>{};
  auto name = Text(bytes, kNameOffset, kNameFieldLength);
  if (!name) return std::nullopt;
  Entry e;
  e.flags = Raw32(bytes, kFlagsOffset);
  e.id = Raw32(bytes, kIdOffset);
  for (std::size_t i = 0; i < kTypeLength && kTypeOffset + i < bytes.size(); ++i)
    e.type[i] = bytes[kTypeOffset + i];
  e.blockSize = Raw32(bytes, kEntryBlockSizeOffset);
  e.byteCount = Raw32(bytes, kSizeOffset);
  e.blockCount = Raw32(bytes, kBlockCountOffset);
  e.burst = Raw32(bytes, kBurstOffset);
  e.gap = Raw32(bytes, kGapOffset);
  e.name = std::move(*name);
  e.lastCopyIndex = Raw32(bytes, kLastCopyOffset);
  e.offset = static_cast<std::uint16_t>(std::min<std::size_t>(at, UINT16_MAX));
  e.cutOff = bytes.size() < kEntryLength;
  // Every copy whose first block lies within the block; the rest cannot be trusted.
  const std::uint64_t lastCopy = e.lastCopyIndex >= kHighBit ? 0 : e.lastCopyIndex;
  for (std::uint64_t c = 0; c <= lastCopy; ++c) {
    const std::uint64_t field = at + kFirstBlockOffset + 4 * c;
    if (field + 4 > block.size()) break;
    e.copies.push_back(Raw32(block, static_cast<std::size_t>(field)));
  }
  return e;
}

BlockEntries ParseDirectoryBlock(std::span<const std::uint8_t> block) {
  BlockEntries result;
  const std::uint32_t used =
      Raw32(block, kUsedEndOffset) >= kHighBit ? 0 : Raw32(block, kUsedEndOffset);
  if (used > kDirectoryLimit) {
    result.fault = OperaFault::UsedEndTooLarge;
    return result;
  }
  std::int64_t p = kFirstEntryOffset;
  while (p < used) {
    const auto at = static_cast<std::size_t>(p);
    const auto bytes = at < block.size()
                           ? block.subspan(at, std::min(kEntryLength, block.size() - at))
                           : std::span<const std::uint8_t>{};
    std::uint32_t lastCopy = Raw32(bytes, kLastCopyOffset);
    if (lastCopy >= kHighBit) lastCopy = 0;
    // An entry cut off before its presence byte counts as absent.
    if (bytes.size() > kPresenceOffset && bytes[kPresenceOffset] != 0) {
      auto entry = ParseEntry(block, at);
      if (!entry) {
        result.fault = OperaFault::NameUnterminated;
        return result;
      }
      result.entries.push_back(std::move(*entry));
    }
    p += static_cast<std::int64_t>(kEntryLength) + 4 * std::int64_t{lastCopy};
    if (p > kDirectoryLimit) {
      result.fault = OperaFault::EntryPastLimit;
      return result;
    }
  }
  return result;
}

std::optional<VolumeLabel> ParseVolumeLabel(std::span<const std::uint8_t> block0) {
  if (block0.size() < kRootCopiesOffset + 4) return std::nullopt;
  if (!std::equal(block0.begin() + kSyncOffset, block0.begin() + kSyncOffset + kSyncLength,
                  kSyncBytes))
    return std::nullopt;
  VolumeLabel v;
  v.recordType = block0[kRecordTypeOffset];
  v.version = block0[kVersionOffset];
  v.flags = block0[kLabelFlagsOffset];
  v.comment = Text(block0, kCommentOffset, kLabelTextLength)
                  .value_or(std::string(block0.begin() + kCommentOffset,
                                        block0.begin() + kCommentOffset + kLabelTextLength));
  v.label = Text(block0, kLabelTextOffset, kLabelTextLength)
                .value_or(std::string(block0.begin() + kLabelTextOffset,
                                      block0.begin() + kLabelTextOffset + kLabelTextLength));
  v.id = Raw32(block0, kVolumeIdOffset);
  v.blockSize = Raw32(block0, kVolumeBlockSizeOffset);
  v.blockCount = Raw32(block0, kVolumeBlocksOffset);
  v.rootId = Raw32(block0, kRootIdOffset);
  v.rootBlockCount = Raw32(block0, kRootBlockCountOffset);
  v.rootBlockSize = Raw32(block0, kRootBlockSizeOffset);
  v.rootLastCopyIndex = Raw32(block0, kRootLastCopyOffset);
  const std::uint64_t copies =
      std::min<std::uint64_t>(std::uint64_t{v.rootLastCopyIndex} + 1, kMaxRootCopies);
  for (std::uint64_t c = 0; c < copies; ++c) {
    const std::size_t field = kRootCopiesOffset + 4 * static_cast<std::size_t>(c);
    if (field + 4 > block0.size()) break;
    v.rootCopies.push_back(Raw32(block0, field));
  }
  return v;
}

}  // namespace brindle::opera
