#include "opera/Directory.h"

#include <algorithm>

#include "opera/BigEndian.h"
#include "opera/EntryLine.h"
#include "opera/Volume.h"

namespace brindle::opera {

std::string DiscSizeText(std::int32_t volumeBlocks) {
  const std::int64_t bytes = static_cast<std::int64_t>(volumeBlocks) * kBlockSize;
  return std::to_string(bytes / 1024 / 1024) + " MB";
}

bool AppendBlockLines(std::span<const std::uint8_t> block, std::vector<std::string>& lines) {
  const std::int64_t used = ReadBigEndian32At(block, kUsedEndOffset);
  if (used > kDirectoryLimit) return false;
  std::int64_t p = kFirstEntryOffset;
  while (p < used) {
    const auto at = static_cast<std::size_t>(p);
    const std::span<const std::uint8_t> entry =
        at < block.size() ? block.subspan(at, std::min(kEntryLength, block.size() - at))
                          : std::span<const std::uint8_t>{};
    // An entry cut off before its presence byte counts as absent.
    if (entry.size() > kPresenceOffset && entry[kPresenceOffset] != 0) {
      auto line = BuildEntryLine(entry);
      if (!line) return false;
      lines.push_back(std::move(*line));
    }
    p += static_cast<std::int64_t>(kEntryLength) +
         4 * std::int64_t{ReadBigEndian32At(entry, kLastCopyOffset)};
    if (p > kDirectoryLimit) return false;
  }
  return true;
}

bool ListDirectory(ReaderWindow& window, const BlockSource& source, std::int32_t blockCount,
                   std::int32_t startBlock, const std::vector<std::string>& prefix) {
  window.pushHistory(FormatHistoryEntry(blockCount, startBlock));
  std::vector<std::string> lines = prefix;
  bool ok = blockCount <= kDirectoryLimit;
  if (ok && source.isImage() && (startBlock < 0 || startBlock >= kImageBlockLimit)) ok = false;
  for (std::int64_t i = 0; ok && i < blockCount; ++i) {
    const auto block = source.block(std::int64_t{startBlock} + i);
    if (!block) {
      ok = false;
    } else if (!block->empty()) {
      ok = AppendBlockLines(block->bytes(), lines);
    }
  }
  if (!lines.empty()) window.appendFiles(lines);
  return ok;
}

bool LoadRootDirectory(ReaderWindow& window, const BlockSource& source) {
  window.clearFiles();
  window.clearHistory();
  const auto root = source.headerFields({kRootBlockCountOffset, kRootFirstBlockOffset});
  if (!root) return false;
  if (!ListDirectory(window, source, (*root)[0], (*root)[1])) return false;
  const auto volumeBlocks = source.headerField(kVolumeBlocksOffset);
  if (!volumeBlocks) return false;
  window.setDiscSize(DiscSizeText(*volumeBlocks));
  return true;
}

}  // namespace brindle::opera
