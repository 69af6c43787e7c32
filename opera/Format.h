// The Opera volume's fixed numbers: the volume label's and directories' field offsets, and the
// limits past which a structure is not trusted. Its block size is media::kBlockSize.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindle::opera {

// Volume header (block 0).
inline constexpr std::size_t kSyncOffset = 1;
inline constexpr const char* kSyncBytes = "ZZZZZ";
inline constexpr std::size_t kSyncLength = 5;
inline constexpr std::size_t kVolumeBlocksOffset = 80;
inline constexpr std::size_t kRootBlockCountOffset = 88;
inline constexpr std::size_t kRootFirstBlockOffset = 100;
// The rest of the volume label.
inline constexpr std::size_t kRecordTypeOffset = 0;
inline constexpr std::size_t kVersionOffset = 6;
inline constexpr std::size_t kLabelFlagsOffset = 7;
inline constexpr std::size_t kCommentOffset = 8;
inline constexpr std::size_t kLabelTextOffset = 40;
inline constexpr std::size_t kLabelTextLength = 32;
inline constexpr std::size_t kVolumeIdOffset = 72;
inline constexpr std::size_t kVolumeBlockSizeOffset = 76;
inline constexpr std::size_t kRootIdOffset = 84;
inline constexpr std::size_t kRootBlockSizeOffset = 92;
inline constexpr std::size_t kRootLastCopyOffset = 96;
inline constexpr std::size_t kRootCopiesOffset = 100;  // the first is the root's first block
inline constexpr std::size_t kMaxRootCopies = 8;       // the label has room for eight

// Directory blocks and entries.
inline constexpr std::size_t kNextBlockOffset = 0;      // index in the directory, -1 after the last
inline constexpr std::size_t kPreviousBlockOffset = 4;  // -1 before the first
inline constexpr std::size_t kDirectoryFlagsOffset = 8;
inline constexpr std::size_t kUsedEndOffset = 12;
inline constexpr std::size_t kFirstEntryFieldOffset = 16;
inline constexpr std::size_t kFirstEntryOffset = 20;
inline constexpr std::size_t kEntryLength = 72;    // plus 4 bytes per copy after the first
inline constexpr std::size_t kPresenceOffset = 3;  // the low byte of the flags word
inline constexpr std::size_t kFlagsOffset = 0;
inline constexpr std::size_t kIdOffset = 4;
inline constexpr std::size_t kEntryBlockSizeOffset = 12;
inline constexpr std::size_t kBlockCountOffset = 20;
inline constexpr std::size_t kBurstOffset = 24;
inline constexpr std::size_t kGapOffset = 28;
inline constexpr std::size_t kTypeOffset = 8;
inline constexpr std::size_t kTypeLength = 4;
inline constexpr std::size_t kSizeOffset = 16;
inline constexpr std::size_t kNameOffset = 32;
inline constexpr std::size_t kNameFieldLength = 32;
inline constexpr std::size_t kLastCopyOffset = 64;
inline constexpr std::size_t kFirstBlockOffset = 68;
inline constexpr std::size_t kMaxNameLength = kNameFieldLength - 1;  // the zero byte ends it

// Entry flags: the high bits mark the last entry of a block and of the directory; the low byte
// (the presence byte) says what the entry is.
inline constexpr std::uint32_t kLastInBlockFlag = 0x80000000u;
inline constexpr std::uint32_t kLastInDirectoryFlag = 0x40000000u;
inline constexpr std::uint32_t kFileKind = 0x02;
inline constexpr std::uint32_t kDirectoryKind = 0x07;
inline constexpr const char* kDirectoryType = "*dir";

// The label as written: record type and version 1.
inline constexpr std::uint8_t kLabelRecordType = 1;
inline constexpr std::uint8_t kLabelVersion = 1;

// On an image, block n lies at byte n x 2048, which must fit in 32 bits.
inline constexpr std::int64_t kImageBlockLimit = 1048576;
// A directory's block count, its used-area ends and entry positions are 16-bit quantities.
inline constexpr std::int64_t kDirectoryLimit = 32767;

}  // namespace brindle::opera
