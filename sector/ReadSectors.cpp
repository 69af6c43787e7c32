#include "sector/ReadSectors.h"

#include "transport/modMMC.h"

namespace brindle::sector {

std::string DriveNotReadyMessage(std::int32_t lba) {
  return "Could not read sector " + std::to_string(lba) + ". Drive not ready.";
}

std::string SectorCountMessage(std::int32_t lba, std::int16_t count) {
  return "Could not read sector " + std::to_string(lba) + ": " + std::to_string(count) +
         " sectors asked for, a read takes 1 to " + std::to_string(kMaxSectorsPerRead) + ".";
}

SectorData ReadSectors(const DriveAccess& access, std::int32_t lba, std::int16_t count) {
  if (count < 1 || count > kMaxSectorsPerRead) {
    access.showError(SectorCountMessage(lba, count));
    return {};
  }
  transport::ISCSI* transport = access.transport ? access.transport() : nullptr;
  const int index = access.selectedIndex ? access.selectedIndex() : -1;
  if (transport == nullptr || index < 0 || index >= transport->DriveCount()) {
    access.showError(kNoDriveSelectedMessage);
    return {};
  }
  const std::string handle = transport->DriveHandle(static_cast<std::int16_t>(index + 1));

  const std::int32_t length = std::int32_t{count} * transport::kSectorSize;
  SectorData sectors(static_cast<std::size_t>(length));
  if (transport::MmcRead10(*transport, handle, lba, count, sectors.data(), length) ==
      transport::kResultGood) {
    return sectors;
  }
  access.os->Sleep(kRetryPauseMs);
  if (transport::MmcRead10(*transport, handle, lba, count, sectors.data(), length) ==
      transport::kResultGood) {
    return sectors;
  }
  access.showError(DriveNotReadyMessage(lba));
  return {};
}

}  // namespace brindle::sector
