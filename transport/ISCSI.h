// The SCSI transport: how a command descriptor block reaches a CD/DVD drive.
//
// Exactly thirteen members, in this slot order. Drive handles are short opaque strings that a
// transport hands out through DriveHandle and gets back unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace brindle::transport {

// Command results: 0 is GOOD; anything else is a failure.
inline constexpr std::int32_t kResultGood = 0;
inline constexpr std::int32_t kResultCheckCondition = 2;
inline constexpr std::int32_t kResultNoDevice = 24;        // a handle with no open device
inline constexpr std::int32_t kResultRequestFailed = 255;  // the request failed in the transport

// Direction codes: 0 is data in (drive to caller); any other value is data out.
inline constexpr std::int32_t kDirectionIn = 0;
inline constexpr std::int32_t kDirectionOut = 1;

inline constexpr std::uint8_t kMaxCdbLength = 16;

class ISCSI {
 public:
  virtual ~ISCSI() = default;

  virtual std::string Interface() = 0;  // "SPTI" or "ASPI"
  virtual std::uint8_t LastASCQ() = 0;
  virtual std::uint8_t LastASC() = 0;
  virtual std::uint8_t LastSK() = 0;
  virtual bool Initialized() = 0;
  virtual bool Installed() = 0;
  virtual std::int16_t DriveCount() = 0;
  // Upper-case drive letter without colon; "" when the transport cannot tell.
  virtual std::string DriveChar(const std::string& handle) = 0;
  // index runs from 1 to DriveCount; "" outside that range.
  virtual std::string DriveHandle(std::int16_t index) = 0;
  virtual std::uint8_t HostAdapter(const std::string& handle) = 0;
  virtual std::uint8_t TargetID(const std::string& handle) = 0;
  virtual std::uint8_t LUN(const std::string& handle) = 0;
  // Sends the first cdbLength bytes of cdb to drive and waits for the end of the command. The
  // data moves directly between the drive and buffer (bufferLength bytes). timeout is in
  // seconds, 0 for the transport's default.
  virtual std::int32_t ExecCMD(const std::string& drive, std::span<const std::uint8_t> cdb,
                               std::uint8_t cdbLength, std::int32_t direction, void* buffer,
                               std::int32_t bufferLength, std::int16_t timeout = 0) = 0;
};

}  // namespace brindle::transport
