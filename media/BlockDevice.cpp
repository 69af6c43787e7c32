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

namespace {

// What both reads share, for units of unitBytes of which [0, end) exist: the request checked,
// units at or past end PastEnd, those before it Unreadable until deliver (given only them) says
// otherwise, and every unit that did not come back Good zeroed.
template <typename Deliver>
void ReadUnits(std::uint64_t first, std::uint64_t end, std::size_t unitBytes,
               std::span<std::uint8_t> out, std::span<BlockStatus> status, Deliver&& deliver) {
  const std::size_t count = status.size();
  if (out.size() / unitBytes < count) {
    std::fill(status.begin(), status.end(), BlockStatus::PastEnd);
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    return;
  }
  const auto inside = first >= end
                          ? std::size_t{0}
                          : static_cast<std::size_t>(std::min<std::uint64_t>(count, end - first));
  std::fill(status.begin() + static_cast<std::ptrdiff_t>(inside), status.end(),
            BlockStatus::PastEnd);
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(inside * unitBytes),
            out.begin() + static_cast<std::ptrdiff_t>(count * unitBytes), std::uint8_t{0});
  if (inside == 0) return;
  std::fill_n(status.begin(), inside, BlockStatus::Unreadable);
  deliver(out.first(inside * unitBytes), status.first(inside));
  for (std::size_t i = 0; i < inside; ++i) {
    if (status[i] != BlockStatus::Good) std::memset(out.data() + i * unitBytes, 0, unitBytes);
  }
}

}  // namespace

void BlockDevice::read(std::uint64_t first, std::span<std::uint8_t> out,
                       std::span<BlockStatus> status) {
  ReadUnits(first, blockCount(), kBlockSize, out, status,
            [&](std::span<std::uint8_t> run, std::span<BlockStatus> runStatus) {
              readBlocks(first, run, runStatus);
            });
}

void BlockDevice::readRaw(std::size_t track, std::uint64_t first, std::span<std::uint8_t> out,
                          std::span<BlockStatus> status) {
  const auto all = tracks();
  const std::uint64_t end =
      track < all.size() ? all[track].pregapSectors + all[track].sectorCount : 0;
  ReadUnits(first, end, kRawSectorBytes, out, status,
            [&](std::span<std::uint8_t> run, std::span<BlockStatus> runStatus) {
              readRawSectors(track, first, run, runStatus);
            });
}

void BlockDevice::readRawSectors(std::size_t track, std::uint64_t first,
                                 std::span<std::uint8_t> out, std::span<BlockStatus> status) {
  const auto all = tracks();
  if (track != 0 || all.size() != 1 || all[0].sectorSize != kBlockSize ||
      all[0].sectorCount != blockCount()) {
    // No raw view of such a track here: as if it held no sectors.
    std::fill(status.begin(), status.end(), BlockStatus::PastEnd);
    return;
  }
  // The user blocks land at the front of out and are spread into whole sectors there.
  readBlocks(first, out.first(status.size() * kBlockSize), status);
  ExpandToMode1(out, status.size(), all[0].firstSector + first);
}

}  // namespace brindle::media
