// The control function of the test ASPI library (libtestaspi.so), called by tests through the
// dynamic caller: CallFunc(kTestAspiControl, {operation, a, b, c, d}).
//
// The library answers GetASPI32SupportInfo and SendASPI32Command over emulated drives placed
// at ASPI addresses. Execute requests run on threads of their own and end by writing the
// status byte last, like the real library's.
#pragma once

#include <cstdint>

namespace brindle::testing {

inline constexpr const char* kTestAspiControl = "TestAspiControl";

enum TestAspiOperation : std::intptr_t {
  // Forget every device and setting; release and finish every running request.
  kAspiReset = 0,
  // a = the support word GetASPI32SupportInfo returns.
  kAspiSetSupportWord,
  // A device at (a, b, c) whose INQUIRY device type is d; type 5 gets an emulated CD-ROM drive.
  kAspiAddDevice,
  // The disc of the drive at (a, b, c): d points at an image vector (std::vector<uint8_t>).
  kAspiSetImage,
  // The drive number command 6 answers for (a, b, c) is d.
  kAspiSetDriveNumber,
  // a != 0: command 8 is refused (its status is left other than 1).
  kAspiRefuseTimeouts,
  // How execute requests end: a = 0 at once, 1 after b milliseconds, 2 only when released.
  kAspiSetCompletion,
  // The next command of the drive at (a, b, c) ends in CHECK CONDITION with sense key, ASC and
  // ASCQ packed in d as key << 16 | asc << 8 | ascq.
  kAspiSetSense,
  // The next request to the drive at (a, b, c) fails before reaching it (ends aborted).
  kAspiAbortNext,
  // Lets held execute requests end.
  kAspiReleaseHeld,
  // Waits until every execute request handed to the library has ended.
  kAspiWaitIdle,
  // The number of requests with command code a received since the reset.
  kAspiCountRequests,
  // The address of the a-th device-type request (0-based) as adapter << 16 | target << 8 | lun.
  kAspiDeviceTypeAddress,
  // The time-out field of the last command 8, and the flags of the last execute request.
  kAspiLastTimeout,
  kAspiLastExecFlags,
  // The number of execute requests handed out and not yet ended.
  kAspiRunningRequests,
};

}  // namespace brindle::testing
