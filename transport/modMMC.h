// The two MMC commands this program sends, READ(10) and INQUIRY, and the byte helpers they are
// built with. The CDB builders are pure; the senders hand one command to a transport, with no
// retry, no message and no look at the sense data.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "transport/ISCSI.h"

namespace brindle::transport {

inline constexpr std::int32_t kSectorSize = 2048;
inline constexpr std::int16_t kCommandTimeout = 5;  // seconds, for every command we send
inline constexpr std::uint8_t kInquiryLength = 76;

// The low byte of x.
std::uint8_t LoByte(std::int16_t x);
// Bits 15 to 8 of x's 16-bit pattern.
std::uint8_t HiByte(std::int16_t x);
// Logical right shift of value's 32-bit pattern; value for bits <= 0, 0 for bits >= 32.
std::int32_t ShiftRight(std::int32_t value, std::int32_t bits);

// READ(10) of count sectors at lba (both sent as their two's-complement patterns).
std::array<std::uint8_t, 10> MakeRead10Cdb(std::int32_t lba, std::int16_t count);
// INQUIRY for kInquiryLength bytes of standard data.
std::array<std::uint8_t, 6> MakeInquiryCdb();

// The standard INQUIRY data as received; only vendor and product are read.
struct InquiryData {
  std::array<std::uint8_t, kInquiryLength> bytes{};

  // Bytes 8 to 15 and 16 to 31 exactly as the drive sent them, one character per byte.
  std::string vendor() const;
  std::string product() const;
};

// Sends READ(10) for count sectors at lba into buffer (bufferLength bytes), data in, 5 s.
// Returns the transport's command result (0 = success).
std::int32_t MmcRead10(ISCSI& transport, const std::string& handle, std::int32_t lba,
                       std::int16_t count, void* buffer, std::int32_t bufferLength);
// READ CAPACITY(10): the medium's last block address.
std::array<std::uint8_t, 10> MakeReadCapacityCdb();
// Sends READ CAPACITY(10); lastBlock gets the last addressable block. Returns the command result.
std::int32_t MmcReadCapacity(ISCSI& transport, const std::string& handle, std::uint32_t& lastBlock);

// Sends INQUIRY into record (not cleared first). Returns the transport's command result.
std::int32_t MmcInquiry(ISCSI& transport, const std::string& handle, InquiryData& record);

}  // namespace brindle::transport
