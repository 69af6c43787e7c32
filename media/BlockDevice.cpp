#include "media/BlockDevice.h"

#include <algorithm>
#include <cstring>

#include "media/RawSectors.h"

namespace brindle::media {

const char* ToText(BlockStatus status) {
  switch (status) {
    case BlockStatus::Good:
      return "good";
    case BlockStatus::Unreadable:
      return "unreadable";
    case BlockStatus::FailedCheck:
      return "failed its check";
    case BlockStatus::PastEnd:
      return "past the end";
  }
  return "unknown";
}

void BlockDevice::readRaw(std::size_t track, std::uint64_t first, std::span<std::uint8_t> out,
                          std::span<BlockStatus> status) {
  std::fill(status.begin(), status.end(), BlockStatus::PastEnd);
  std::memset(out.data(), 0, std::min(out.size(), status.size() * kRawSectorBytes));
  const auto all = tracks();
  if (out.size() < status.size() * kRawSectorBytes || track != 0 || all.size() != 1 ||
      all[0].sectorSize != kBlockSize || first >= blockCount())
    return;
  const auto inside =
      static_cast<std::size_t>(std::min<std::uint64_t>(status.size(), blockCount() - first));
  // The user blocks land at the front of out and are spread into whole sectors there.
  read(first, out.first(inside * kBlockSize), status.first(inside));
  ExpandToMode1(out, inside, all[0].firstSector + first);
  for (std::size_t i = 0; i < inside; ++i) {
    if (status[i] != BlockStatus::Good)
      std::memset(out.data() + i * kRawSectorBytes, 0, kRawSectorBytes);
  }
}

}  // namespace brindle::media
