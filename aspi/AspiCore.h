// The working parts of the ASPI library stand-in that need no drive: which devices answer at
// which address, the support word, how an execute request becomes an SG_IO request, and how
// the kernel's answer is written back into the request block.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "transport/AspiRecords.h"

namespace brindle::aspi {

// One optical drive as the library shows it: the Linux SCSI address doubles as the ASPI one.
struct OpticalDevice {
  std::string path;              // /dev/srN
  std::uint8_t hostAdapter = 0;  // SCSI host number
  std::uint8_t target = 0;
  std::uint8_t lun = 0;
  std::uint8_t driveNumber = 0;  // index of its drive letter: 3 (D) for /dev/sr0
};

// Drive letters D: to Z: stand for /dev/sr0 to /dev/sr22.
inline constexpr std::uint8_t kFirstDriveNumber = 3;
inline constexpr int kMaxDevices = 23;

// Status 1 and the highest host number + 1 as adapter count; 0xE800 (no adapters) with none.
std::int32_t SupportWord(std::span<const OpticalDevice> devices);

// The device at the address, or nullptr.
const OpticalDevice* FindDevice(std::span<const OpticalDevice> devices, std::uint8_t hostAdapter,
                                std::uint8_t target, std::uint8_t lun);

// A status byte for a request the library refuses outright: kAspiInvalidAdapter or
// kAspiNoDevice for an address without a device, kAspiInvalidRequest for a CDB length of 0 or
// above 16, a data length without an address, or flags naming no or both directions while data
// moves. 0 when the request can be sent.
std::uint8_t CheckExecRequest(std::span<const OpticalDevice> devices,
                              const transport::AspiExecRequest& request);

// Sense bytes the kernel may hand back for one request.
using SenseBuffer = std::array<std::uint8_t, 64>;

// Fills io for the request: the CDB, the data straight to or from the request's own buffer,
// the sense buffer and the time-out (half-seconds; 0 or less selects the default).
void PrepareSgIo(transport::AspiExecRequest& request, SenseBuffer& sense,
                 std::int32_t timeoutHalfSeconds, sg_io_hdr_t& io);

// Writes the outcome into the request: on an answer from the drive the target status, the
// sense area (fixed format) and status 1 (GOOD) or kAspiError; when the request failed before
// the drive answered (ioctl error, host or driver status, time-out) status 2, aborted. The
// status byte is written last, with release order.
void CompleteExecRequest(transport::AspiExecRequest& request, bool ioctlSucceeded,
                         const sg_io_hdr_t& io, const SenseBuffer& sense);

// Fixed-format sense (response code 70h) from fixed or descriptor-format sense; the key, ASC
// and ASCQ end up at bytes 2, 12 and 13. Returns the number of valid bytes.
std::size_t ToFixedSense(std::span<const std::uint8_t> sense, std::size_t length,
                         std::array<std::uint8_t, 18>& fixed);

}  // namespace brindle::aspi
