#include "opera/Volume.h"

#include <algorithm>
#include <array>

#include "opera/DirectoryBlock.h"
#include "opera/Format.h"

namespace brindle::opera {

std::optional<Volume> Volume::Open(media::BlockDevice& device, media::BlockStatus& status) {
  std::array<std::uint8_t, media::kBlockSize> block0{};
  std::array<media::BlockStatus, 1> statuses{};
  device.read(0, block0, statuses);
  status = statuses[0];
  if (status != media::BlockStatus::Good) return std::nullopt;
  auto label = ParseVolumeLabel(block0);
  if (!label) return std::nullopt;
  return Volume(device, std::move(*label));
}

DirectoryRef Volume::root() const {
  return {label_.rootBlockCount, label_.rootCopies};
}

DirectoryRef Volume::DirectoryOf(const Entry& entry) {
  return {entry.blockCount, entry.copies};
}

Directory Volume::readDirectory(const DirectoryRef& directory) const {
  Directory result;
  if (directory.copies.empty()) return result;
  if (directory.blockCount > kDirectoryLimit) {
    result.problems.push_back(
        {directory.copies.front(), media::BlockStatus::Good, OperaFault::BlockCountTooLarge});
    return result;
  }
  std::array<std::uint8_t, media::kBlockSize> block{};
  std::array<media::BlockStatus, 1> status{};
  // Copies that lie past the device's end are not asked for, block by block: a directory claiming
  // hundreds of copies far past the end costs no reads.
  const std::uint64_t end = device_->blockCount();
  std::uint64_t reach = 0;  // the directory's blocks that lie on the device in some copy
  for (const std::uint32_t first : directory.copies)
    if (first < end)
      reach = std::max(reach, std::min<std::uint64_t>(directory.blockCount, end - first));
  for (std::uint32_t i = 0; i < directory.blockCount; ++i) {
    if (i >= reach) {
      result.problems.push_back(
          {directory.copies.front() + i, media::BlockStatus::PastEnd, std::nullopt});
      continue;
    }
    std::optional<BlockEntries> best;
    media::BlockStatus lastStatus = media::BlockStatus::Good;
    for (std::size_t c = 0; c < directory.copies.size(); ++c) {
      const std::uint64_t at = std::uint64_t{directory.copies[c]} + i;
      if (at >= end) {
        lastStatus = media::BlockStatus::PastEnd;
        continue;
      }
      device_->read(at, block, status);
      lastStatus = status[0];
      if (status[0] != media::BlockStatus::Good) continue;
      BlockEntries parsed = ParseDirectoryBlock(block);
      const bool clean = !parsed.fault;
      if (!best || clean) best = std::move(parsed);
      if (clean) {
        if (c > 0)
          result.recovered.push_back(
              {i, directory.copies.front() + i, static_cast<std::uint32_t>(c)});
        break;
      }
    }
    const std::uint32_t where = directory.copies.front() + i;
    if (!best) {
      result.problems.push_back({where, lastStatus, std::nullopt});
      continue;
    }
    if (best->fault) result.problems.push_back({where, media::BlockStatus::Good, best->fault});
    for (Entry& e : best->entries) result.entries.push_back(std::move(e));
  }
  return result;
}

std::string DiscSizeText(std::uint64_t blocks) {
  return std::to_string(blocks * media::kBlockSize / 1024 / 1024) + " MB";
}

}  // namespace brindle::opera
