// Reading runs of 2048-byte sectors from the drive selected in the drive list: two attempts
// 500 ms apart, then the drive-not-ready message.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Os.h"
#include "sector/SectorData.h"
#include "transport/ISCSI.h"

namespace brindle::sector {

inline constexpr std::int16_t kMaxSectorsPerRead = 15;  // count x 2048 stays within 16 bits
inline constexpr std::uint32_t kRetryPauseMs = 500;

inline constexpr const char* kNoDriveSelectedMessage =
    "No drive is selected. Choose a drive from the list first.";

// "Could not read sector <lba>. Drive not ready."
std::string DriveNotReadyMessage(std::int32_t lba);
// The refusal of a count outside 1 to 15.
std::string SectorCountMessage(std::int32_t lba, std::int16_t count);

// Where ReadSectors finds its drive and its user, asked again at every call.
struct DriveAccess {
  // The current transport; nullptr while none has been chosen.
  std::function<transport::ISCSI*()> transport;
  // The drive list's selected entry, 0-based; -1 when nothing is selected.
  std::function<int()> selectedIndex;
  // Sleeps between the two attempts. Must not be null.
  platform::Os* os = nullptr;
  // Shows a message in the "Error" box and returns when the user has closed it.
  std::function<void(const std::string&)> showError;
};

// count sectors at lba from the selected drive: count x 2048 bytes in disc order, or an empty
// result after one message (drive not ready; no drive selected; count outside 1 to 15). Sends
// nothing when no transport, no selection or a selection outside the transport's drives.
SectorData ReadSectors(const DriveAccess& access, std::int32_t lba, std::int16_t count);

}  // namespace brindle::sector
