// The request blocks exchanged with the ASPI library, and the values they carry.
//
// Little-endian records that the transport owns and hands to SendASPI32Command by address. On
// a 32-bit build each is byte for byte the ASPI interface's own layout (checked below); on a
// 64-bit build the address fields widen to pointer size, and the library stand-in in aspi/ is
// built from this same header, so both sides agree.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace brindle::transport {

inline constexpr const char* kAspiLibraryName = "WNASPI32.DLL";
inline constexpr const char* kGetSupportInfoName = "GetASPI32SupportInfo";
inline constexpr const char* kSendCommandName = "SendASPI32Command";

// Command codes (offset 0 of every block).
inline constexpr std::uint8_t kAspiGetDeviceType = 1;
inline constexpr std::uint8_t kAspiExecute = 2;
inline constexpr std::uint8_t kAspiGetDiskInfo = 6;
inline constexpr std::uint8_t kAspiTimeouts = 8;

// Status byte (offset 1): 0 while pending; any non-zero value ends the request.
inline constexpr std::uint8_t kAspiPending = 0;
inline constexpr std::uint8_t kAspiComplete = 1;
inline constexpr std::uint8_t kAspiAborted = 2;
inline constexpr std::uint8_t kAspiError = 0x04;  // ended with an error (e.g. CHECK CONDITION)
inline constexpr std::uint8_t kAspiInvalidAdapter = 0x81;
inline constexpr std::uint8_t kAspiNoDevice = 0x82;
inline constexpr std::uint8_t kAspiInvalidRequest = 0xE0;
inline constexpr std::uint8_t kAspiNoAdapters = 0xE8;

// Flags (offset 3).
inline constexpr std::uint8_t kAspiDataIn = 0x08;   // execute: data from the drive; disk info
inline constexpr std::uint8_t kAspiDataOut = 0x10;  // execute: data to the drive; set timeout

inline constexpr std::uint8_t kAspiSenseLength = 14;
inline constexpr std::uint8_t kDeviceTypeCdrom = 5;
// The time-out the transport asks for when the caller gives none, in half-seconds.
inline constexpr std::int32_t kAspiDefaultTimeout = 108000;

// GetASPI32SupportInfo's result: bits 8-15 the status (1 = ready), bits 0-7 the adapter count.
constexpr std::uint8_t SupportStatus(std::int32_t supportWord) {
  return static_cast<std::uint8_t>((static_cast<std::uint32_t>(supportWord) >> 8) & 0xFFu);
}
constexpr std::uint8_t SupportAdapterCount(std::int32_t supportWord) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(supportWord) & 0xFFu);
}
constexpr std::int32_t MakeSupportWord(std::uint8_t status, std::uint8_t adapterCount) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(status) << 8) | adapterCount);
}

struct AspiDeviceTypeRequest {
  std::uint8_t command;
  std::uint8_t status;
  std::uint8_t hostAdapter;
  std::uint8_t flags;
  std::uint32_t reserved;
  std::uint8_t target;
  std::uint8_t lun;
  std::uint8_t deviceType;
  std::uint8_t rest[69];
};

struct AspiDiskInfoRequest {
  std::uint8_t command;
  std::uint8_t status;
  std::uint8_t hostAdapter;
  std::uint8_t flags;
  std::uint32_t reserved;
  std::uint8_t target;
  std::uint8_t lun;
  std::uint8_t driveFlags;
  std::uint8_t driveNumber;  // index of the drive letter, 0 for A
  std::uint8_t rest[12];
};

struct AspiExecRequest {
  std::uint8_t command;
  std::uint8_t status;
  std::uint8_t hostAdapter;
  std::uint8_t flags;
  std::uint32_t reserved;
  std::uint8_t target;
  std::uint8_t lun;
  std::uint16_t reserved2;
  std::uint32_t dataLength;
  void* dataAddress;
  std::uint8_t senseLength;
  std::uint8_t cdbLength;
  std::uint8_t hostAdapterStatus;
  std::uint8_t targetStatus;
  std::intptr_t postProcessing;  // the command's event handle
  std::uint8_t reserved3[20];
  std::uint8_t cdb[16];
  std::uint8_t senseArea[16];
};

struct AspiTimeoutRequest {
  std::uint8_t command;
  std::uint8_t status;
  std::uint8_t hostAdapter;
  std::uint8_t flags;
  std::uint32_t reserved;
  std::uint8_t target;
  std::uint8_t lun;
  std::uint16_t reserved2;
  std::int32_t timeout;  // half-seconds
};

// The status byte of a request that another thread may finish: the library stores it last
// with release order, after everything else it writes; the transport loads it with acquire
// order, so whatever the library wrote before is visible once the byte is non-zero.
inline std::uint8_t LoadRequestStatus(std::uint8_t& status) {
  return std::atomic_ref<std::uint8_t>(status).load(std::memory_order_acquire);
}
inline void StoreRequestStatus(std::uint8_t& status, std::uint8_t value) {
  std::atomic_ref<std::uint8_t>(status).store(value, std::memory_order_release);
}

static_assert(sizeof(AspiDeviceTypeRequest) == 80);
static_assert(offsetof(AspiDeviceTypeRequest, target) == 8);
static_assert(offsetof(AspiDeviceTypeRequest, deviceType) == 10);
static_assert(sizeof(AspiDiskInfoRequest) == 24);
static_assert(offsetof(AspiDiskInfoRequest, driveNumber) == 11);
static_assert(sizeof(AspiTimeoutRequest) == 16);
static_assert(offsetof(AspiTimeoutRequest, timeout) == 12);
static_assert(offsetof(AspiExecRequest, dataLength) == 12);
static_assert(offsetof(AspiExecRequest, dataAddress) == 16);

#if UINTPTR_MAX == 0xFFFFFFFFu
// The ASPI interface's 32-bit layout of the execute request, byte for byte.
static_assert(sizeof(AspiExecRequest) == 80);
static_assert(offsetof(AspiExecRequest, senseLength) == 20);
static_assert(offsetof(AspiExecRequest, cdbLength) == 21);
static_assert(offsetof(AspiExecRequest, targetStatus) == 23);
static_assert(offsetof(AspiExecRequest, postProcessing) == 24);
static_assert(offsetof(AspiExecRequest, cdb) == 48);
static_assert(offsetof(AspiExecRequest, senseArea) == 64);
#else
// 64-bit: the data address and the event handle widen to 8 bytes on 8-byte boundaries.
static_assert(offsetof(AspiExecRequest, targetStatus) == 27);
static_assert(offsetof(AspiExecRequest, postProcessing) == 32);
static_assert(offsetof(AspiExecRequest, cdb) == 60);
static_assert(offsetof(AspiExecRequest, senseArea) == 76);
#endif

}  // namespace brindle::transport
