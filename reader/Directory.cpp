#include "reader/Directory.h"

#include <algorithm>

#include "opera/DirectoryBlock.h"
#include "opera/Format.h"
#include "opera/Volume.h"
#include "reader/EntryLine.h"

namespace brindle::reader {

bool AppendBlockLines(std::span<const std::uint8_t> block, std::vector<std::string>& lines) {
  const opera::BlockEntries parsed = opera::ParseDirectoryBlock(block);
  for (const opera::Entry& entry : parsed.entries) lines.push_back(EntryLineOf(entry));
  return !parsed.fault;
}

bool ListDirectory(ReaderWindow& window, const BlockSource& source, std::int32_t blockCount,
                   std::int32_t startBlock, const std::vector<std::string>& prefix) {
  window.pushHistory(FormatHistoryEntry(blockCount, startBlock));
  std::vector<std::string> lines = prefix;
  bool ok = blockCount <= opera::kDirectoryLimit;
  if (ok && source.isImage() && (startBlock < 0 || startBlock >= opera::kImageBlockLimit))
    ok = false;
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
  const auto root =
      source.headerFields({opera::kRootBlockCountOffset, opera::kRootFirstBlockOffset});
  if (!root) return false;
  if (!ListDirectory(window, source, (*root)[0], (*root)[1])) return false;
  const auto volumeBlocks = source.headerField(opera::kVolumeBlocksOffset);
  if (!volumeBlocks) return false;
  window.setDiscSize(opera::DiscSizeText(static_cast<std::uint32_t>(*volumeBlocks)));
  return true;
}

}  // namespace brindle::reader
