// The platform's own records that the pass-through transport hands to the operating system, as
// the transports, the Linux backend and the test fakes share them.
//
// The layouts are the Windows ones (SCSI_PASS_THROUGH_DIRECT, SCSI_ADDRESS): on a 32-bit build
// they are byte for byte the documented records, on a 64-bit build the data address widens to 8
// bytes exactly as in the Win64 headers. Multi-byte fields are little-endian on every platform
// we build for.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindle::platform {

// Device control codes: (DeviceType << 16) | (Access << 14) | (Function << 2) | Method.
inline constexpr std::uint32_t kPassThroughDirectCode = 0x4D014;  // IOCTL_SCSI_PASS_THROUGH_DIRECT
inline constexpr std::uint32_t kGetAddressCode = 0x41018;         // IOCTL_SCSI_GET_ADDRESS

// ScsiPassThroughDirect::DataIn values.
inline constexpr std::uint8_t kScsiDataOut = 0;  // SCSI_IOCTL_DATA_OUT
inline constexpr std::uint8_t kScsiDataIn = 1;   // SCSI_IOCTL_DATA_IN

inline constexpr std::size_t kCdbAreaSize = 16;
inline constexpr std::size_t kSenseAreaSize = 32;

// SCSI_PASS_THROUGH_DIRECT: one command; the data moves straight to or from DataBuffer.
struct ScsiPassThroughDirect {
  std::uint16_t Length;  // sizeof(ScsiPassThroughDirect)
  std::uint8_t ScsiStatus;
  std::uint8_t PathId;
  std::uint8_t TargetId;
  std::uint8_t Lun;
  std::uint8_t CdbLength;
  std::uint8_t SenseInfoLength;
  std::uint8_t DataIn;
  std::uint32_t DataTransferLength;
  std::uint32_t TimeOutValue;  // seconds
  void* DataBuffer;
  std::uint32_t SenseInfoOffset;  // from the start of this record
  std::uint8_t Cdb[kCdbAreaSize];
};

// The block one pass-through command hands to the driver, as input and output of the same call:
// the header, a 4-byte filler and the sense area that SenseInfoOffset points at.
struct PassThroughBuffer {
  ScsiPassThroughDirect header;
  std::uint32_t filler;
  std::uint8_t sense[kSenseAreaSize];
};

// SCSI_ADDRESS: input and output of kGetAddressCode.
struct ScsiAddress {
  std::uint32_t Length;  // 8
  std::uint8_t PortNumber;
  std::uint8_t PathId;
  std::uint8_t TargetId;
  std::uint8_t Lun;
};

inline constexpr std::uint32_t kSenseAreaOffset = offsetof(PassThroughBuffer, sense);

static_assert(sizeof(ScsiAddress) == 8);
static_assert(offsetof(ScsiPassThroughDirect, ScsiStatus) == 2);
static_assert(offsetof(ScsiPassThroughDirect, CdbLength) == 6);
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoLength) == 7);
static_assert(offsetof(ScsiPassThroughDirect, DataIn) == 8);
static_assert(offsetof(ScsiPassThroughDirect, DataTransferLength) == 12);
static_assert(offsetof(ScsiPassThroughDirect, TimeOutValue) == 16);
static_assert(offsetof(ScsiAddress, PortNumber) == 4);
static_assert(offsetof(ScsiAddress, TargetId) == 6);
static_assert(offsetof(ScsiAddress, Lun) == 7);

#if UINTPTR_MAX == 0xFFFFFFFFu
// The 32-bit records, byte for byte.
static_assert(sizeof(void*) == 4);
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == 20);
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == 28);
static_assert(sizeof(ScsiPassThroughDirect) == 44);
static_assert(offsetof(PassThroughBuffer, filler) == 44);
static_assert(kSenseAreaOffset == 48);
static_assert(sizeof(PassThroughBuffer) == 80);
#else
// The 64-bit records: the data address widens to 8 bytes and moves to an 8-byte boundary.
static_assert(sizeof(void*) == 8);
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == 24);
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) == 32);
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == 36);
static_assert(sizeof(ScsiPassThroughDirect) == 56);
static_assert(offsetof(PassThroughBuffer, filler) == 56);
static_assert(kSenseAreaOffset == 60);
static_assert(sizeof(PassThroughBuffer) == 96);
#endif

}  // namespace brindle::platform
