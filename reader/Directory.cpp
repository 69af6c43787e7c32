#include "reader/Directory.h"

#include <algorithm>

#include "opera/DirectoryBlock.h"
#include "opera/Format.h"
#include "opera/Volume.h"
#include "reader/EntryLine.h"

namespace brindle::reader {

namespace {

bool AppendBlockLines(std::span<const std::uint8_t> block, std::vector<std::string>& lines,
                      LongDirectories& longDirectories) {
  const opera::BlockEntries parsed = opera::ParseDirectoryBlock(block);
  for (const opera::Entry& entry : parsed.entries) {
    lines.push_back(EntryLineOf(entry));
    // A block count past what any directory may hold is no truth to go by: the line's size is.
    if (entry.isDirectory() && entry.blockCount <= opera::kDirectoryLimit &&
        static_cast<std::int32_t>(entry.blockCount) > EntrySize(lines.back()) / kSignedBlockSize)
      longDirectories.emplace(lines.back(), static_cast<std::int32_t>(entry.blockCount));
  }
  return !parsed.fault;
}

}  // namespace

bool AppendBlockLines(std::span<const std::uint8_t> block, std::vector<std::string>& lines) {
  LongDirectories ignored;
  return AppendBlockLines(block, lines, ignored);
}

std::int32_t DirectoryBlocks(const std::string& line, const LongDirectories& longDirectories) {
  const auto found = longDirectories.find(line);
  return found != longDirectories.end() ? found->second : EntrySize(line) / kSignedBlockSize;
}

bool ListDirectory(ReaderWindow& window, const BlockSource& source, std::int32_t blockCount,
                   std::int32_t startBlock, const std::vector<std::string>& prefix,
                   LongDirectories* longDirectories) {
  window.pushHistory(FormatHistoryEntry(blockCount, startBlock));
  std::vector<std::string> lines = prefix;
  LongDirectories found;
  bool ok = blockCount <= opera::kDirectoryLimit;
  if (ok && source.isImage() && (startBlock < 0 || startBlock >= opera::kImageBlockLimit))
    ok = false;
  for (std::int64_t i = 0; ok && i < blockCount; ++i) {
    const auto block = source.block(std::int64_t{startBlock} + i);
    if (!block) {
      ok = false;
    } else if (!block->empty()) {
      ok = AppendBlockLines(block->bytes(), lines, found);
    }
  }
  if (!lines.empty()) window.appendFiles(lines);
  if (longDirectories != nullptr) *longDirectories = std::move(found);
  return ok;
}

bool LoadRootDirectory(ReaderWindow& window, const BlockSource& source,
                       LongDirectories* longDirectories) {
  if (longDirectories != nullptr) longDirectories->clear();
  window.clearFiles();
  window.clearHistory();
  const auto root =
      source.headerFields({opera::kRootBlockCountOffset, opera::kRootFirstBlockOffset});
  if (!root) return false;
  if (!ListDirectory(window, source, (*root)[0], (*root)[1], {}, longDirectories)) return false;
  const auto volumeBlocks = source.headerField(opera::kVolumeBlocksOffset);
  if (!volumeBlocks) return false;
  window.setDiscSize(opera::DiscSizeText(static_cast<std::uint32_t>(*volumeBlocks)));
  return true;
}

}  // namespace brindle::reader
