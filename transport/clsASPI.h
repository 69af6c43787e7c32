// The ASPI transport: drives addressed by host adapter, target and LUN through WNASPI32.DLL.
//
// The library is loaded at construction through the dynamic caller and released at
// destruction. Its failures (library missing, a function missing) never escape: the transport
// then reports Initialized false, no drives, and 255 from ExecCMD.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Os.h"
#include "transport/AspiRecords.h"
#include "transport/ISCSI.h"
#include "transport/clsCDECL.h"

namespace brindle::transport {

class clsASPI : public ISCSI {
 public:
  // Loads "WNASPI32.DLL" and scans every address for CD-ROM devices. os must outlive the
  // object; pump runs one pass of the window's pending-message processing (may be empty).
  clsASPI(platform::Os& os, std::function<void()> pump);
  // Releases the library, unless a request it may still finish is pending (see ExecCMD).
  ~clsASPI() override;
  clsASPI(const clsASPI&) = delete;
  clsASPI& operator=(const clsASPI&) = delete;

  std::string Interface() override { return "ASPI"; }
  std::uint8_t LastASCQ() override { return lastAscq_; }
  std::uint8_t LastASC() override { return lastAsc_; }
  std::uint8_t LastSK() override { return lastSk_; }
  // Asks the library anew: true when the status byte of its support word is 1.
  bool Initialized() override;
  // Whether the library was loaded at construction.
  bool Installed() override { return installed_; }
  std::int16_t DriveCount() override;
  // The letter under which the system shows the device at the handle's address, or "".
  std::string DriveChar(const std::string& handle) override;
  std::string DriveHandle(std::int16_t index) override;
  std::uint8_t HostAdapter(const std::string& handle) override;
  std::uint8_t TargetID(const std::string& handle) override;
  std::uint8_t LUN(const std::string& handle) override;
  // Sends one CDB as an execute request and waits for its end: the target status, or 255 when
  // the request was aborted, did not end in time, or could not be sent. A request that has not
  // ended when the wait gives up keeps its block, its event and its data area (a copy owned by
  // the transport in that waiting mode) until the library ends it.
  std::int32_t ExecCMD(const std::string& drive, std::span<const std::uint8_t> cdb,
                       std::uint8_t cdbLength, std::int32_t direction, void* buffer,
                       std::int32_t bufferLength, std::int16_t timeout = 0) override;

  // Execute requests handed to the library that have not ended yet (0 in normal operation).
  std::size_t PendingRequests() const { return pending_.size(); }

 private:
  struct ExecCall;
  struct Address {
    std::uint8_t hostAdapter = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
  };

  static Address Decode(const std::string& handle);
  void ScanDevices();
  // The support word, or 0 when the library cannot be called.
  std::int32_t SupportInfo();
  // Hands a block to SendASPI32Command; false when the library could not be called.
  bool SendRequest(void* block);
  std::string LetterFromDiskInfo(const Address& address);
  std::string LetterFromAddress(const Address& address);
  bool GetScsiAddress(char letter, Address& found);
  bool OpenDevice(char letter, platform::Handle& device);
  bool IsNT();
  bool IsNT5OrLater();
  // Waits for the request's end: polling with the message pump, or (polling false) 30 ms and
  // then the event for timeout seconds. True when that wait on the event timed out.
  bool WaitForEnd(ExecCall& call, bool polling, std::int16_t timeout);
  // Closes the events of pending requests that have ended and frees them.
  void ReapEndedRequests();

  platform::Os& os_;
  std::function<void()> pump_;
  clsCDECL caller_;
  bool installed_ = false;
  std::vector<std::string> driveAddresses_;
  std::uint8_t lastSk_ = 0;
  std::uint8_t lastAsc_ = 0;
  std::uint8_t lastAscq_ = 0;
  std::vector<std::unique_ptr<ExecCall>> pending_;
};

}  // namespace brindle::transport
