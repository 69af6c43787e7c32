// The Opera volume's fixed numbers: block size, header fields, and the limits past which the
// reader gives up on a structure instead of trusting it.
#pragma once

#include <cstdint>
#include <string>

namespace brindle::opera {

inline constexpr std::int64_t kBlockSize = 2048;

// Volume header (block 0).
inline constexpr std::size_t kSyncOffset = 1;
inline constexpr const char* kSyncBytes = "ZZZZZ";
inline constexpr std::size_t kSyncLength = 5;
inline constexpr std::size_t kVolumeBlocksOffset = 80;
inline constexpr std::size_t kRootBlockCountOffset = 88;
inline constexpr std::size_t kRootFirstBlockOffset = 100;

// Directory blocks and entries.
inline constexpr std::size_t kUsedEndOffset = 12;
inline constexpr std::size_t kFirstEntryOffset = 20;
inline constexpr std::size_t kEntryLength = 72;  // plus 4 bytes per copy after the first
inline constexpr std::size_t kPresenceOffset = 3;
inline constexpr std::size_t kTypeOffset = 8;
inline constexpr std::size_t kTypeLength = 4;
inline constexpr std::size_t kSizeOffset = 16;
inline constexpr std::size_t kNameOffset = 32;
inline constexpr std::size_t kNameFieldLength = 32;
inline constexpr std::size_t kLastCopyOffset = 64;
inline constexpr std::size_t kFirstBlockOffset = 68;

// On an image, block n lies at byte n x 2048, which must fit in 32 bits.
inline constexpr std::int64_t kImageBlockLimit = 1048576;
// A directory's block count, its used-area ends and entry positions are 16-bit quantities.
inline constexpr std::int64_t kDirectoryLimit = 32767;

// The disc size text of lbDiscSize: whole megabytes of blocks x 2048 bytes, then " MB"
// ("585 MB" for 300,000 blocks). Computed in 64 bits, so any block count gives its true size.
std::string DiscSizeText(std::int32_t volumeBlocks);

}  // namespace brindle::opera
