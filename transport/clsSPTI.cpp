#include "transport/clsSPTI.h"

#include <algorithm>
#include <cstring>

#include "platform/Records.h"

namespace brindle::transport {
namespace {

using platform::Handle;
using platform::kInvalidHandle;

constexpr std::uint32_t kDeviceTypeController = 4;  // FILE_DEVICE_CONTROLLER: the SCSI port
constexpr std::uint32_t kFunctionPassThroughDirect = 0x405;
constexpr std::uint32_t kFunctionGetAddress = 0x406;
constexpr std::uint32_t kMethodBuffered = 0;
constexpr std::uint32_t kAccessAny = 0;
constexpr std::uint32_t kAccessReadWrite = 3;
constexpr std::uint8_t kSenseInfoLength = 31;  // one less than the sense area
constexpr std::uint32_t kFirstNt5Major = 5;

std::string RootOf(char letter) {
  return std::string(1, letter) + ":";
}

// 0 to 25 for a handle starting with a letter A to Z (either case); -1 otherwise.
int LetterIndex(const std::string& handle) {
  if (handle.empty()) return -1;
  const char c = handle[0];
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a';
  return -1;
}

}  // namespace

clsSPTI::clsSPTI(platform::Os& os) : os_(os) {
  ListCdromDrives();
  passThroughCode_ = MakeControlCode(kDeviceTypeController, kFunctionPassThroughDirect,
                                     kMethodBuffered, kAccessReadWrite);
  getAddressCode_ =
      MakeControlCode(kDeviceTypeController, kFunctionGetAddress, kMethodBuffered, kAccessAny);
}

clsSPTI::~clsSPTI() {
  if (!handlesOpened_) return;
  for (const Handle handle : deviceHandles_) {
    if (handle != kInvalidHandle) os_.CloseHandle(handle);
  }
}

std::uint32_t clsSPTI::MakeControlCode(std::uint32_t deviceType, std::uint32_t function,
                                       std::uint32_t method, std::uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

void clsSPTI::ListCdromDrives() {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (os_.GetDriveTypeA(RootOf(letter)) == platform::kDriveCdrom) {
      driveLetters_.emplace_back(1, letter);
    }
  }
}

bool clsSPTI::IsNT5OrLater() {
  platform::OsVersion version;
  if (!os_.GetVersionExA(version)) return false;
  return version.platformId == platform::kPlatformWin32Nt && version.majorVersion >= kFirstNt5Major;
}

bool clsSPTI::GetDeviceHandle(const std::string& drive, Handle& handle) {
  if (!handlesOpened_) {
    const std::uint32_t access = IsNT5OrLater() ? (platform::kGenericRead | platform::kGenericWrite)
                                                : platform::kGenericRead;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      Handle& entry = deviceHandles_[static_cast<std::size_t>(letter - 'A')];
      if (os_.GetDriveTypeA(RootOf(letter)) != platform::kDriveCdrom) {
        entry = kInvalidHandle;
        continue;
      }
      entry = os_.CreateFileA("\\\\.\\" + RootOf(letter), access, platform::kFileShareReadWrite,
                              platform::kOpenExisting, 0);
    }
    handlesOpened_ = true;
  }
  const int index = LetterIndex(drive);
  handle = index < 0 ? kInvalidHandle : deviceHandles_[static_cast<std::size_t>(index)];
  return handle != kInvalidHandle;
}

std::string clsSPTI::Interface() {
  return "SPTI";
}
std::uint8_t clsSPTI::LastASCQ() {
  return lastASCQ_;
}
std::uint8_t clsSPTI::LastASC() {
  return lastASC_;
}
std::uint8_t clsSPTI::LastSK() {
  return lastSK_;
}
bool clsSPTI::Initialized() {
  return true;
}

bool clsSPTI::Installed() {
  if (driveLetters_.empty()) return false;
  Handle handle = kInvalidHandle;
  return GetDeviceHandle(driveLetters_.front(), handle);
}

std::int16_t clsSPTI::DriveCount() {
  return static_cast<std::int16_t>(driveLetters_.size());
}

std::string clsSPTI::DriveChar(const std::string& handle) {
  return handle;
}

std::string clsSPTI::DriveHandle(std::int16_t index) {
  if (index < 1 || index > DriveCount()) return {};
  return driveLetters_[static_cast<std::size_t>(index - 1)];
}

bool clsSPTI::QueryAddress(const std::string& handle, platform::ScsiAddress& address) {
  Handle device = kInvalidHandle;
  if (!GetDeviceHandle(handle, device)) return false;
  address = platform::ScsiAddress{};
  address.Length = sizeof address;
  std::uint32_t returned = 0;
  return os_.DeviceIoControl(device, getAddressCode_, &address, sizeof address, &address,
                             sizeof address, &returned);
}

std::uint8_t clsSPTI::HostAdapter(const std::string& handle) {
  platform::ScsiAddress address;
  return QueryAddress(handle, address) ? address.PortNumber : 0;
}

std::uint8_t clsSPTI::TargetID(const std::string& handle) {
  platform::ScsiAddress address;
  return QueryAddress(handle, address) ? address.TargetId : 0;
}

std::uint8_t clsSPTI::LUN(const std::string& handle) {
  platform::ScsiAddress address;
  return QueryAddress(handle, address) ? address.Lun : 0;
}

std::int32_t clsSPTI::ExecCMD(const std::string& drive, std::span<const std::uint8_t> cdb,
                              std::uint8_t cdbLength, std::int32_t direction, void* buffer,
                              std::int32_t bufferLength, std::int16_t timeout) {
  platform::PassThroughBuffer request;
  std::memset(&request, 0, sizeof request);
  Handle device = kInvalidHandle;
  if (!GetDeviceHandle(drive, device)) return kResultNoDevice;

  // What the driver could not be given safely fails here, as a failed request would.
  if (cdbLength > platform::kCdbAreaSize || cdbLength > cdb.size() || bufferLength < 0 ||
      (buffer == nullptr && bufferLength > 0)) {
    lastSK_ = lastASC_ = lastASCQ_ = 0;
    return kResultRequestFailed;
  }

  if (timeout == 0) timeout = static_cast<std::int16_t>(kDefaultTimeout);
  platform::ScsiPassThroughDirect& header = request.header;
  header.Length = sizeof header;
  header.TimeOutValue = static_cast<std::uint32_t>(static_cast<std::int32_t>(timeout));
  header.SenseInfoLength = kSenseInfoLength;
  header.SenseInfoOffset = platform::kSenseAreaOffset;
  header.DataIn = direction == kDirectionIn ? platform::kScsiDataIn : platform::kScsiDataOut;
  std::copy_n(cdb.begin(), cdbLength, header.Cdb);
  header.CdbLength = cdbLength;
  header.DataBuffer = buffer;
  header.DataTransferLength = static_cast<std::uint32_t>(bufferLength);

  std::uint32_t returned = 0;
  const bool carriedOut = os_.DeviceIoControl(device, passThroughCode_, &request, sizeof request,
                                              &request, sizeof request, &returned);
  lastSK_ = request.sense[2];
  lastASC_ = request.sense[12];
  lastASCQ_ = request.sense[13];
  return carriedOut ? header.ScsiStatus : kResultRequestFailed;
}

}  // namespace brindle::transport
