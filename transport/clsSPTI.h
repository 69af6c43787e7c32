// The SCSI pass-through transport: every command goes to the drive's device with one blocking
// pass-through request, the data straight to and from the caller's buffer. Drives are named by
// their letter ("D"); their devices are opened together on first need and stay open until the
// object is destroyed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Os.h"
#include "platform/Records.h"
#include "transport/ISCSI.h"

namespace brindle::transport {

class clsSPTI final : public ISCSI {
 public:
  // Lists the CD-ROM drive letters; opens nothing.
  explicit clsSPTI(platform::Os& os);
  // Closes every device that was opened.
  ~clsSPTI() override;
  clsSPTI(const clsSPTI&) = delete;
  clsSPTI& operator=(const clsSPTI&) = delete;

  // (DeviceType << 16) | (Access << 14) | (Function << 2) | Method.
  static std::uint32_t MakeControlCode(std::uint32_t deviceType, std::uint32_t function,
                                       std::uint32_t method, std::uint32_t access);

  // Default time-out in seconds when a command asks for 0.
  static constexpr std::uint32_t kDefaultTimeout = 10800;

  std::string Interface() override;  // "SPTI"
  std::uint8_t LastASCQ() override;
  std::uint8_t LastASC() override;
  std::uint8_t LastSK() override;
  bool Initialized() override;  // always true
  // True when the first CD-ROM drive's device could be opened (opens all of them on first call).
  bool Installed() override;
  std::int16_t DriveCount() override;
  std::string DriveChar(const std::string& handle) override;  // handle itself
  std::string DriveHandle(std::int16_t index) override;       // "" outside 1..DriveCount
  // Address of the drive; 0 when it has no open device or the query fails.
  std::uint8_t HostAdapter(const std::string& handle) override;
  std::uint8_t TargetID(const std::string& handle) override;
  std::uint8_t LUN(const std::string& handle) override;
  // SCSI status of the command; 255 when the request failed (also for a CDB length above 16 or
  // above cdb's size, a negative length or a missing buffer); 24 when drive names no open device.
  std::int32_t ExecCMD(const std::string& drive, std::span<const std::uint8_t> cdb,
                       std::uint8_t cdbLength, std::int32_t direction, void* buffer,
                       std::int32_t bufferLength, std::int16_t timeout = 0) override;

 private:
  void ListCdromDrives();
  bool IsNT5OrLater();
  // Fills the device table on first use, then looks drive's letter up.
  bool GetDeviceHandle(const std::string& drive, platform::Handle& handle);
  // The address of the drive, or nothing.
  bool QueryAddress(const std::string& handle, platform::ScsiAddress& address);

  platform::Os& os_;
  std::vector<std::string> driveLetters_;
  std::array<platform::Handle, 26> deviceHandles_{};
  bool handlesOpened_ = false;
  std::uint32_t passThroughCode_ = 0;
  std::uint32_t getAddressCode_ = 0;
  std::uint8_t lastSK_ = 0;
  std::uint8_t lastASC_ = 0;
  std::uint8_t lastASCQ_ = 0;
};

}  // namespace brindle::transport
