#include "transport/clsASPI.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/Records.h"

namespace brindle::transport {
namespace {

constexpr int kTargetsPerAdapter = 8;
constexpr int kLunsPerTarget = 8;
constexpr std::uint32_t kFirstPollDelayMs = 30;
constexpr std::uint32_t kAccessNt5 = platform::kGenericRead | platform::kGenericWrite;

// The command result of an execute request whose status byte reads `status` once the wait is
// over. targetStatus is read only when the request has ended.
std::int32_t ResultOf(std::uint8_t status, std::uint8_t targetStatus, bool timeoutAccepted,
                      bool waitTimedOut) {
  // Not ended, or ended without the command having run: nothing in the block describes it.
  if (status == kAspiPending || status == kAspiAborted) return kResultRequestFailed;
  if (!timeoutAccepted && status != kAspiComplete && waitTimedOut) return kResultRequestFailed;
  // The library refused or failed the request (no such device, invalid request, ...): the
  // drive never said GOOD, so this must not read as success.
  if (status != kAspiComplete && targetStatus == kResultGood) return kResultRequestFailed;
  return targetStatus;
}

std::string MakeHandle(int hostAdapter, int target, int lun) {
  return std::string{static_cast<char>(hostAdapter), static_cast<char>(target),
                     static_cast<char>(lun)};
}

}  // namespace

// One execute request with everything the library may still write to while it runs: the
// block itself, the event named in it, and (in the fallback waiting mode) the data area.
struct clsASPI::ExecCall {
  AspiExecRequest block{};
  platform::Handle event = platform::kInvalidHandle;
  std::vector<std::uint8_t> dataCopy;
};

clsASPI::clsASPI(platform::Os& os, std::function<void()> pump)
    : os_(os), pump_(std::move(pump)), caller_(os) {
  installed_ = caller_.DllLoad(kAspiLibraryName);
  ScanDevices();
}

clsASPI::~clsASPI() {
  ReapEndedRequests();
  if (pending_.empty()) {
    caller_.DllUnload();
    return;
  }
  // The library still owns these requests: it may write to them, and to the event, from its
  // own context at any time. Keep them, and the library's code, for the rest of the process.
  static auto* const abandoned = new std::vector<std::unique_ptr<ExecCall>>();
  for (auto& call : pending_) abandoned->push_back(std::move(call));
  pending_.clear();
}

std::int32_t clsASPI::SupportInfo() {
  try {
    return caller_.CallFunc(kGetSupportInfoName);
  } catch (const CdeclError&) {
    return 0;
  }
}

bool clsASPI::SendRequest(void* block) {
  try {
    caller_.CallFunc(kSendCommandName, {reinterpret_cast<std::intptr_t>(block)});
    return true;
  } catch (const CdeclError&) {
    return false;
  }
}

void clsASPI::ScanDevices() {
  const int adapters = SupportAdapterCount(SupportInfo());
  for (int adapter = 0; adapter < adapters; ++adapter) {
    for (int target = 0; target < kTargetsPerAdapter; ++target) {
      for (int lun = 0; lun < kLunsPerTarget; ++lun) {
        AspiDeviceTypeRequest request{};
        request.command = kAspiGetDeviceType;
        request.hostAdapter = static_cast<std::uint8_t>(adapter);
        request.target = static_cast<std::uint8_t>(target);
        request.lun = static_cast<std::uint8_t>(lun);
        if (!SendRequest(&request)) return;
        if (LoadRequestStatus(request.status) == kAspiComplete &&
            request.deviceType == kDeviceTypeCdrom) {
          driveAddresses_.push_back(MakeHandle(adapter, target, lun));
        }
      }
    }
  }
}

bool clsASPI::Initialized() {
  return SupportStatus(SupportInfo()) == kAspiComplete;
}

std::int16_t clsASPI::DriveCount() {
  return static_cast<std::int16_t>(driveAddresses_.size());
}

std::string clsASPI::DriveHandle(std::int16_t index) {
  if (index < 1 || static_cast<std::size_t>(index) > driveAddresses_.size()) return {};
  return driveAddresses_[static_cast<std::size_t>(index) - 1];
}

clsASPI::Address clsASPI::Decode(const std::string& handle) {
  Address address;
  if (handle.size() > 0) address.hostAdapter = static_cast<std::uint8_t>(handle[0]);
  if (handle.size() > 1) address.target = static_cast<std::uint8_t>(handle[1]);
  if (handle.size() > 2) address.lun = static_cast<std::uint8_t>(handle[2]);
  return address;
}

std::uint8_t clsASPI::HostAdapter(const std::string& handle) {
  return Decode(handle).hostAdapter;
}
std::uint8_t clsASPI::TargetID(const std::string& handle) {
  return Decode(handle).target;
}
std::uint8_t clsASPI::LUN(const std::string& handle) {
  return Decode(handle).lun;
}

std::string clsASPI::DriveChar(const std::string& handle) {
  const Address address = Decode(handle);
  return IsNT() ? LetterFromAddress(address) : LetterFromDiskInfo(address);
}

std::string clsASPI::LetterFromDiskInfo(const Address& address) {
  AspiDiskInfoRequest request{};
  request.command = kAspiGetDiskInfo;
  request.flags = kAspiDataIn;
  request.hostAdapter = address.hostAdapter;
  request.target = address.target;
  request.lun = address.lun;
  SendRequest(&request);
  // The status is not consulted: a request that failed leaves drive number 0, which is "A".
  if (request.driveNumber > 25) return {};
  return std::string(1, static_cast<char>('A' + request.driveNumber));
}

std::string clsASPI::LetterFromAddress(const Address& address) {
  std::string letter;
  // Every letter is examined; when several match, the last one wins.
  for (char candidate = 'A'; candidate <= 'Z'; ++candidate) {
    Address found;
    if (os_.GetDriveTypeA(std::string{candidate, ':'}) == platform::kDriveCdrom &&
        GetScsiAddress(candidate, found) && found.hostAdapter == address.hostAdapter &&
        found.target == address.target && found.lun == address.lun) {
      letter.assign(1, candidate);
    }
  }
  return letter;
}

bool clsASPI::GetScsiAddress(char letter, Address& found) {
  platform::Handle device = platform::kInvalidHandle;
  if (!OpenDevice(letter, device)) return false;
  platform::ScsiAddress buffer{};
  buffer.Length = sizeof(platform::ScsiAddress);
  std::uint32_t bytesReturned = 0;
  const bool ok = os_.DeviceIoControl(device, platform::kGetAddressCode, &buffer, sizeof buffer,
                                      &buffer, sizeof buffer, &bytesReturned);
  os_.CloseHandle(device);
  if (!ok) return false;
  found.hostAdapter = buffer.PortNumber;
  found.target = buffer.TargetId;
  found.lun = buffer.Lun;
  return true;
}

bool clsASPI::OpenDevice(char letter, platform::Handle& device) {
  const std::uint32_t access = IsNT5OrLater() ? kAccessNt5 : platform::kGenericRead;
  device =
      os_.CreateFileA(std::string("\\\\.\\") + letter + ":", access, platform::kFileShareReadWrite,
                      platform::kOpenExisting, platform::kFileAttributeNormal);
  return device != platform::kInvalidHandle;
}

bool clsASPI::IsNT() {
  platform::OsVersion version;
  return os_.GetVersionExA(version) && version.platformId == platform::kPlatformWin32Nt;
}

bool clsASPI::IsNT5OrLater() {
  platform::OsVersion version;
  return os_.GetVersionExA(version) && version.platformId == platform::kPlatformWin32Nt &&
         version.majorVersion >= 5;
}

bool clsASPI::WaitForEnd(ExecCall& call, bool polling, std::int16_t timeout) {
  std::uint8_t& status = call.block.status;
  if (polling) {
    // No limit of its own: the library ends every request, aborted ones with status 2.
    while (LoadRequestStatus(status) == kAspiPending) {
      if (pump_) {
        pump_();
      } else {
        std::this_thread::yield();
      }
    }
    return false;
  }
  os_.Sleep(kFirstPollDelayMs);
  if (LoadRequestStatus(status) != kAspiPending) return false;
  const auto waitMs = static_cast<std::uint32_t>(std::max<std::int32_t>(timeout, 0)) * 1000u;
  return os_.WaitForSingleObject(call.event, waitMs) == platform::kWaitTimeout;
}

void clsASPI::ReapEndedRequests() {
  std::erase_if(pending_, [this](const std::unique_ptr<ExecCall>& call) {
    if (LoadRequestStatus(call->block.status) == kAspiPending) return false;
    os_.CloseHandle(call->event);
    return true;
  });
}

std::int32_t clsASPI::ExecCMD(const std::string& drive, std::span<const std::uint8_t> cdb,
                              std::uint8_t cdbLength, std::int32_t direction, void* buffer,
                              std::int32_t bufferLength, std::int16_t timeout) {
  ReapEndedRequests();
  // A command block that does not fit the request, or is shorter than said, is never sent cut
  // short: the drive would run another command than the caller meant.
  if (cdbLength > kMaxCdbLength || cdbLength > cdb.size()) {
    lastSk_ = lastAsc_ = lastAscq_ = 0;
    return kResultRequestFailed;
  }
  const Address address = Decode(drive);
  const std::size_t length = cdbLength;
  const std::size_t dataLength =
      buffer == nullptr ? 0 : static_cast<std::size_t>(std::max(bufferLength, 0));

  auto call = std::make_unique<ExecCall>();
  call->event = os_.CreateEventA(true, false, "0");
  os_.ResetEvent(call->event);

  AspiExecRequest& request = call->block;
  request.command = kAspiExecute;
  request.hostAdapter = address.hostAdapter;
  request.flags = direction == kDirectionIn ? kAspiDataIn : kAspiDataOut;
  request.target = address.target;
  request.lun = address.lun;
  request.dataLength = static_cast<std::uint32_t>(dataLength);
  request.dataAddress = buffer;
  request.senseLength = kAspiSenseLength;
  request.cdbLength = static_cast<std::uint8_t>(length);
  request.postProcessing = call->event;
  if (length > 0) std::memcpy(request.cdb, cdb.data(), length);

  AspiTimeoutRequest timeoutRequest{};
  timeoutRequest.command = kAspiTimeouts;
  timeoutRequest.flags = kAspiDataOut;
  timeoutRequest.hostAdapter = address.hostAdapter;
  timeoutRequest.target = address.target;
  timeoutRequest.lun = address.lun;
  timeoutRequest.timeout = timeout != 0 ? std::int32_t{timeout} * 2 : kAspiDefaultTimeout;
  const bool accepted =
      SendRequest(&timeoutRequest) && LoadRequestStatus(timeoutRequest.status) == kAspiComplete;
  const bool polling = accepted || timeout == 0;

  // Only the bounded wait can give up on a request that the library still runs; the caller's
  // buffer is gone by then, so the library gets a data area that lives as long as the request.
  if (!polling && dataLength > 0) {
    call->dataCopy.assign(dataLength, 0);
    if (direction != kDirectionIn) std::memcpy(call->dataCopy.data(), buffer, dataLength);
    request.dataAddress = call->dataCopy.data();
  }

  if (!SendRequest(&request)) {
    lastSk_ = lastAsc_ = lastAscq_ = 0;
    os_.CloseHandle(call->event);
    return kResultRequestFailed;
  }

  const bool timedOut = WaitForEnd(*call, polling, timeout);
  const std::uint8_t status = LoadRequestStatus(request.status);
  const std::int32_t result =
      ResultOf(status, status == kAspiPending ? 0 : request.targetStatus, accepted, timedOut);

  if (status == kAspiPending) {
    lastSk_ = lastAsc_ = lastAscq_ = 0;
    pending_.push_back(std::move(call));
    return result;
  }
  lastSk_ = request.senseArea[2] & 0x0F;
  lastAsc_ = request.senseArea[12];
  lastAscq_ = request.senseArea[13];
  if (!call->dataCopy.empty() && direction == kDirectionIn) {
    std::memcpy(buffer, call->dataCopy.data(), dataLength);
  }
  os_.CloseHandle(call->event);
  return result;
}

}  // namespace brindle::transport
