#include "media/DriveDevice.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "sector/SectorData.h"
#include "transport/modMMC.h"

namespace brindle::media {
namespace {

constexpr std::uint64_t kAddressable = std::uint64_t{1} << 32;  // READ(10)'s 32-bit address

}  // namespace

DriveDevice::DriveDevice(transport::ISCSI& transport, std::string handle, std::string label)
    : transport_(transport), handle_(std::move(handle)), label_(std::move(label)) {
  // An ASPI layer may be decades old and is never asked for more than 64 KiB.
  if (transport_.Interface() == "SPTI") runBlocks_ = kLargeRunBlocks;
  std::uint32_t last = 0;
  blocks_ = transport::MmcReadCapacity(transport_, handle_, last) == transport::kResultGood
                ? std::uint64_t{last} + 1
                : kAddressable;
}

bool DriveDevice::readRun(std::uint64_t first, std::uint32_t count, std::uint8_t* into) {
  // The transfer lands in a page-aligned buffer, as direct transfers want: the caller's own
  // when it is one (no copy), else one of its own.
  ++commands_;
  if (reinterpret_cast<std::uintptr_t>(into) % sector::kBufferAlignment == 0) {
    return transport::MmcRead10(transport_, handle_,
                                static_cast<std::int32_t>(static_cast<std::uint32_t>(first)),
                                static_cast<std::int16_t>(count), into,
                                static_cast<std::int32_t>(std::size_t{count} * kBlockSize)) ==
           transport::kResultGood;
  }
  sector::SectorData buffer(std::size_t{count} * kBlockSize);
  const std::int32_t result = transport::MmcRead10(
      transport_, handle_, static_cast<std::int32_t>(static_cast<std::uint32_t>(first)),
      static_cast<std::int16_t>(count), buffer.data(), static_cast<std::int32_t>(buffer.size()));
  if (result != transport::kResultGood) return false;
  std::memcpy(into, buffer.data(), buffer.size());
  return true;
}

bool DriveDevice::readSmallRun(std::uint64_t first, std::uint32_t count, std::uint8_t* into,
                               std::span<BlockStatus> status) {
  if (readRun(first, count, into)) {
    std::fill(status.begin(), status.end(), BlockStatus::Good);
    return true;
  }
  // Somewhere in the run a block failed: each block alone, twice, to find which.
  for (std::uint32_t b = 0; b < count; ++b) {
    const bool good = readRun(first + b, 1, into + b * kBlockSize) ||
                      readRun(first + b, 1, into + b * kBlockSize);
    if (good) status[b] = BlockStatus::Good;
  }
  return false;
}

void DriveDevice::readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                             std::span<BlockStatus> status) {
  const std::lock_guard lock(mutex_);
  for (std::uint64_t i = 0; i < status.size();) {
    const std::uint64_t lba = first + i;
    const auto count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(runBlocks_, status.size() - i));
    std::uint8_t* into = out.data() + i * kBlockSize;
    const auto runStatus = status.subspan(i, count);
    if (count <= kRunBlocks) {
      readSmallRun(lba, count, into, runStatus);
    } else if (readRun(lba, count, into)) {
      std::fill(runStatus.begin(), runStatus.end(), BlockStatus::Good);
    } else {
      bool partsRead = true;
      for (std::uint32_t part = 0; part < count; part += kRunBlocks) {
        const std::uint32_t n = std::min(kRunBlocks, count - part);
        partsRead = readSmallRun(lba + part, n, into + std::size_t{part} * kBlockSize,
                                 runStatus.subspan(part, n)) &&
                    partsRead;
      }
      if (partsRead) runBlocks_ = kRunBlocks;  // the size was refused, not a block
    }
    i += count;
  }
}

std::vector<TrackInfo> DriveDevice::tracks() const {
  TrackInfo track;
  track.mode = "MODE1/2048";
  track.sectorSize = kBlockSize;
  track.sectorCount = blocks_;
  return {track};
}

}  // namespace brindle::media
