#include "aspi/AspiCore.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace brindle::aspi {

using transport::AspiExecRequest;

namespace {

constexpr std::uint8_t kGoodStatus = 0;
// driver_status bit that only says sense data came back with the answer.
constexpr unsigned kDriverSense = 0x08;
constexpr unsigned kDefaultTimeoutMs = static_cast<unsigned>(transport::kAspiDefaultTimeout) * 500u;

}  // namespace

std::int32_t SupportWord(std::span<const OpticalDevice> devices) {
  if (devices.empty()) return transport::MakeSupportWord(transport::kAspiNoAdapters, 0);
  int highest = 0;
  for (const auto& device : devices) highest = std::max<int>(highest, device.hostAdapter);
  // An adapter count is one byte; host numbers past 254 cannot be announced.
  const int count = std::min(highest + 1, 255);
  return transport::MakeSupportWord(transport::kAspiComplete, static_cast<std::uint8_t>(count));
}

const OpticalDevice* FindDevice(std::span<const OpticalDevice> devices, std::uint8_t hostAdapter,
                                std::uint8_t target, std::uint8_t lun) {
  for (const auto& device : devices) {
    if (device.hostAdapter == hostAdapter && device.target == target && device.lun == lun) {
      return &device;
    }
  }
  return nullptr;
}

std::uint8_t CheckExecRequest(std::span<const OpticalDevice> devices,
                              const AspiExecRequest& request) {
  const bool knownAdapter = std::any_of(devices.begin(), devices.end(), [&](const auto& device) {
    return device.hostAdapter == request.hostAdapter;
  });
  if (!knownAdapter) return transport::kAspiInvalidAdapter;
  if (FindDevice(devices, request.hostAdapter, request.target, request.lun) == nullptr) {
    return transport::kAspiNoDevice;
  }
  if (request.cdbLength == 0 || request.cdbLength > sizeof request.cdb) {
    return transport::kAspiInvalidRequest;
  }
  if (request.dataLength > 0) {
    const bool in = (request.flags & transport::kAspiDataIn) != 0;
    const bool out = (request.flags & transport::kAspiDataOut) != 0;
    if (request.dataAddress == nullptr || in == out) return transport::kAspiInvalidRequest;
  }
  return 0;
}

void PrepareSgIo(AspiExecRequest& request, SenseBuffer& sense, std::int32_t timeoutHalfSeconds,
                 sg_io_hdr_t& io) {
  std::memset(&io, 0, sizeof io);
  io.interface_id = 'S';
  io.cmd_len = request.cdbLength;
  io.cmdp = request.cdb;
  io.mx_sb_len = static_cast<unsigned char>(sense.size());
  io.sbp = sense.data();
  io.dxfer_len = request.dataLength;
  io.dxferp = request.dataAddress;
  if (request.dataLength == 0) {
    io.dxfer_direction = SG_DXFER_NONE;
  } else if ((request.flags & transport::kAspiDataIn) != 0) {
    io.dxfer_direction = SG_DXFER_FROM_DEV;
  } else {
    io.dxfer_direction = SG_DXFER_TO_DEV;
  }
  // Half-seconds as milliseconds, in 64 bits: a time-out past the kernel's range becomes the
  // longest one, never a wrapped short (or zero, the kernel's default) one.
  const std::uint64_t milliseconds = timeoutHalfSeconds > 0
                                         ? static_cast<std::uint64_t>(timeoutHalfSeconds) * 500u
                                         : kDefaultTimeoutMs;
  io.timeout = static_cast<unsigned>(
      std::min<std::uint64_t>(milliseconds, std::numeric_limits<unsigned>::max()));
}

std::size_t ToFixedSense(std::span<const std::uint8_t> sense, std::size_t length,
                         std::array<std::uint8_t, 18>& fixed) {
  fixed.fill(0);
  length = std::min(length, sense.size());
  if (length == 0) return 0;
  const std::uint8_t responseCode = sense[0] & 0x7F;
  if (responseCode == 0x72 || responseCode == 0x73) {
    fixed[0] = responseCode == 0x72 ? 0x70 : 0x71;
    if (length > 1) fixed[2] = sense[1] & 0x0F;
    if (length > 2) fixed[12] = sense[2];
    if (length > 3) fixed[13] = sense[3];
    fixed[7] = 10;
    return fixed.size();
  }
  const std::size_t n = std::min(length, fixed.size());
  std::copy_n(sense.begin(), n, fixed.begin());
  return n;
}

void CompleteExecRequest(AspiExecRequest& request, bool ioctlSucceeded, const sg_io_hdr_t& io,
                         const SenseBuffer& sense) {
  const bool answered =
      ioctlSucceeded && io.host_status == 0 && (io.driver_status & ~kDriverSense) == 0;
  if (!answered) {
    request.hostAdapterStatus = static_cast<std::uint8_t>(ioctlSucceeded ? io.host_status : 0xFF);
    transport::StoreRequestStatus(request.status, transport::kAspiAborted);
    return;
  }
  request.targetStatus = io.status;
  std::array<std::uint8_t, 18> fixed{};
  const std::size_t senseBytes = ToFixedSense(sense, io.sb_len_wr, fixed);
  const std::size_t room = std::min<std::size_t>(request.senseLength, sizeof request.senseArea);
  std::memset(request.senseArea, 0, sizeof request.senseArea);
  std::memcpy(request.senseArea, fixed.data(), std::min(room, senseBytes));
  transport::StoreRequestStatus(
      request.status, io.status == kGoodStatus ? transport::kAspiComplete : transport::kAspiError);
}

}  // namespace brindle::aspi
