// The ASPI library stand-in's handling of an execute request from an untrusted caller: which
// requests it refuses, the SG_IO request it builds for the rest, and how any answer the kernel
// may give is written back into the request block.
//
// Input, front to back (zeros past the end): a device count (0-3) and three addresses; the
// request block's bytes; one byte of switches (bit 0: the request names a data area, bit 1: the
// ioctl succeeded); the time-out in half-seconds; the kernel's SCSI status, host status, driver
// status and sense length; the rest is the sense data.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "aspi/AspiCore.h"
#include "fuzz/FuzzInput.h"

namespace {

using namespace brindle;
using transport::AspiExecRequest;

bool IsRefusal(std::uint8_t status) {
  return status == transport::kAspiInvalidAdapter || status == transport::kAspiNoDevice ||
         status == transport::kAspiInvalidRequest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::FuzzInput input(data, size);

  std::vector<aspi::OpticalDevice> devices(input.take<std::uint8_t>() % 4);
  for (int i = 0; i < 3; ++i) {
    aspi::OpticalDevice device;
    device.hostAdapter = input.take<std::uint8_t>();
    device.target = input.take<std::uint8_t>();
    device.lun = input.take<std::uint8_t>();
    if (static_cast<std::size_t>(i) < devices.size()) devices[static_cast<std::size_t>(i)] = device;
  }

  AspiExecRequest request{};
  input.fill(std::span(reinterpret_cast<std::uint8_t*>(&request), sizeof request));
  const auto switches = input.take<std::uint8_t>();
  // The caller's data area: a real one or none. Nothing here reads or writes it; the kernel
  // would.
  std::array<std::uint8_t, 16> area{};
  request.dataAddress = (switches & 1) != 0 ? area.data() : nullptr;
  request.status = transport::kAspiPending;

  const std::uint8_t refused = aspi::CheckExecRequest(devices, request);
  if (refused != 0) {
    if (!IsRefusal(refused)) std::abort();
    return 0;
  }
  if (aspi::FindDevice(devices, request.hostAdapter, request.target, request.lun) == nullptr)
    std::abort();
  if (request.cdbLength == 0 || request.cdbLength > sizeof request.cdb) std::abort();

  aspi::SenseBuffer sense{};
  sg_io_hdr_t io;
  aspi::PrepareSgIo(request, sense, input.take<std::int32_t>(), io);
  if (io.cmd_len != request.cdbLength || io.cmdp != request.cdb || io.sbp != sense.data() ||
      io.mx_sb_len > sense.size() || io.timeout == 0 || io.dxfer_len != request.dataLength)
    std::abort();
  if (request.dataLength > 0 && io.dxferp == nullptr) std::abort();

  // The kernel's answer, whatever it may be.
  io.status = input.take<std::uint8_t>();
  io.host_status = input.take<std::uint16_t>();
  io.driver_status = input.take<std::uint16_t>();
  io.sb_len_wr = input.take<std::uint8_t>();
  input.fill(sense);
  const std::uint8_t targetBefore = request.targetStatus;
  aspi::CompleteExecRequest(request, (switches & 2) != 0, io, sense);

  const std::uint8_t status = transport::LoadRequestStatus(request.status);
  if (status == transport::kAspiPending) std::abort();  // the caller would wait for ever
  if (status == transport::kAspiAborted) {
    if (request.targetStatus != targetBefore) std::abort();
  } else {
    if (status != transport::kAspiComplete && status != transport::kAspiError) std::abort();
    if ((status == transport::kAspiComplete) != (io.status == 0)) std::abort();
    // Sense data never reaches past the length the caller gave.
    const std::size_t room = std::min<std::size_t>(request.senseLength, sizeof request.senseArea);
    for (std::size_t i = room; i < sizeof request.senseArea; ++i)
      if (request.senseArea[i] != 0) std::abort();
  }

  std::array<std::uint8_t, 18> fixed{};
  const std::size_t kept = aspi::ToFixedSense(sense, io.sb_len_wr, fixed);
  if (kept > fixed.size()) std::abort();
  const std::int32_t word = aspi::SupportWord(devices);
  if ((transport::SupportStatus(word) == transport::kAspiComplete) == devices.empty()) std::abort();
  return 0;
}
