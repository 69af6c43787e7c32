// The machine's optical drives through the kernel's SCSI interfaces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "aspi/AspiCore.h"

namespace brindle::aspi {

// /dev/sr0 to /dev/sr22 that exist and tell their SCSI address, in that order.
std::vector<OpticalDevice> FindOpticalDevices();

// Opens a drive for commands (read-write when allowed, else read-only, never blocking on a
// missing disc); -1 on failure.
int OpenDrive(const std::string& path);

// The peripheral device type from a standard INQUIRY, or nothing when the drive did not answer.
std::optional<std::uint8_t> InquireDeviceType(const std::string& path);

}  // namespace brindle::aspi
