// The ASPI library stand-in (libwnaspi32.so) as far as it goes without a drive: the support
// word, which requests it refuses, how a request becomes SG_IO and how the answer comes back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <climits>

#include <vector>

#include "aspi/AspiCore.h"
#include "tests/aspi/AspiTestSupport.h"
#include "transport/clsASPI.h"

namespace brindle::testing {
namespace {

using aspi::OpticalDevice;
using transport::AspiExecRequest;
namespace t = transport;

const std::vector<OpticalDevice> kDevices = {{"/dev/sr0", 0, 1, 0, 3}, {"/dev/sr1", 2, 0, 0, 4}};

AspiExecRequest ReadRequest(std::vector<std::uint8_t>& buffer) {
  AspiExecRequest request{};
  request.command = t::kAspiExecute;
  request.hostAdapter = 2;
  request.flags = t::kAspiDataIn;
  request.dataLength = static_cast<std::uint32_t>(buffer.size());
  request.dataAddress = buffer.data();
  request.senseLength = t::kAspiSenseLength;
  request.cdbLength = 10;
  request.cdb[0] = 0x28;
  return request;
}

TEST(AspiLibraryCore, SupportWordCountsAdaptersUpToTheHighestHostNumber) {
  EXPECT_EQ(aspi::SupportWord({}), 0xE800);
  EXPECT_EQ(aspi::SupportWord(kDevices), 0x0103);
  const std::vector<OpticalDevice> high = {{"/dev/sr0", 255, 0, 0, 3}};
  EXPECT_EQ(aspi::SupportWord(high), 0x01FF);
}

TEST(AspiLibraryCore, RefusesRequestsItCannotSend) {
  std::vector<std::uint8_t> buffer(2048);
  AspiExecRequest request = ReadRequest(buffer);
  EXPECT_EQ(aspi::CheckExecRequest(kDevices, request), 0);

  auto changed = request;
  changed.hostAdapter = 1;
  EXPECT_EQ(aspi::CheckExecRequest(kDevices, changed), t::kAspiInvalidAdapter);
  changed = request;
  changed.target = 1;
  EXPECT_EQ(aspi::CheckExecRequest(kDevices, changed), t::kAspiNoDevice);
  for (std::uint8_t length : {0, 17, 255}) {
    changed = request;
    changed.cdbLength = length;
    EXPECT_EQ(aspi::CheckExecRequest(kDevices, changed), t::kAspiInvalidRequest) << int{length};
  }
  changed = request;
  changed.dataAddress = nullptr;
  EXPECT_EQ(aspi::CheckExecRequest(kDevices, changed), t::kAspiInvalidRequest);
  changed.dataLength = 0;  // no data, no address needed
  EXPECT_EQ(aspi::CheckExecRequest(kDevices, changed), 0);
  changed = request;
  changed.flags = t::kAspiDataIn | t::kAspiDataOut;
  EXPECT_EQ(aspi::CheckExecRequest(kDevices, changed), t::kAspiInvalidRequest);
  changed.flags = 0;
  EXPECT_EQ(aspi::CheckExecRequest(kDevices, changed), t::kAspiInvalidRequest);
}

TEST(AspiLibraryCore, SgIoMovesDataStraightToTheCallersBuffer) {
  std::vector<std::uint8_t> buffer(4096);
  AspiExecRequest request = ReadRequest(buffer);
  aspi::SenseBuffer sense{};
  sg_io_hdr_t io;
  aspi::PrepareSgIo(request, sense, 10, io);
  EXPECT_EQ(io.interface_id, 'S');
  EXPECT_EQ(io.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(io.dxferp, buffer.data());
  EXPECT_EQ(io.dxfer_len, 4096u);
  EXPECT_EQ(io.cmdp, request.cdb);
  EXPECT_EQ(io.cmd_len, 10);
  EXPECT_EQ(io.sbp, sense.data());
  EXPECT_EQ(io.timeout, 5000u);

  aspi::PrepareSgIo(request, sense, t::kAspiDefaultTimeout, io);
  EXPECT_EQ(io.timeout, 54000u * 1000u);
  aspi::PrepareSgIo(request, sense, 0, io);
  EXPECT_EQ(io.timeout, 54000u * 1000u);
  // A time-out too long for the kernel's milliseconds is the longest it takes, never a wrapped
  // (short, or zero) one.
  aspi::PrepareSgIo(request, sense, 1 << 30, io);
  EXPECT_EQ(io.timeout, UINT_MAX);
  request.flags = t::kAspiDataOut;
  aspi::PrepareSgIo(request, sense, 10, io);
  EXPECT_EQ(io.dxfer_direction, SG_DXFER_TO_DEV);
  request.dataLength = 0;
  aspi::PrepareSgIo(request, sense, 10, io);
  EXPECT_EQ(io.dxfer_direction, SG_DXFER_NONE);
}

TEST(AspiLibraryCore, AnswerFromTheDriveEndsTheRequestWithStatusAndSense) {
  std::vector<std::uint8_t> buffer(2048);
  aspi::SenseBuffer sense{};
  sg_io_hdr_t io{};

  AspiExecRequest good = ReadRequest(buffer);
  aspi::CompleteExecRequest(good, true, io, sense);
  EXPECT_EQ(good.status, t::kAspiComplete);
  EXPECT_EQ(good.targetStatus, 0);

  // Fixed-format sense, key byte with the upper flag bits set: copied as the drive sent it.
  AspiExecRequest check = ReadRequest(buffer);
  sense = {};
  sense[0] = 0xF0;
  sense[2] = 0x25;
  sense[7] = 10;
  sense[12] = 0x21;
  sense[13] = 0x01;
  io.status = 2;
  io.driver_status = 0x08;  // sense came back: still an answer from the drive
  io.sb_len_wr = 18;
  aspi::CompleteExecRequest(check, true, io, sense);
  EXPECT_EQ(check.status, t::kAspiError);
  EXPECT_EQ(check.targetStatus, 2);
  EXPECT_EQ(check.senseArea[2], 0x25);
  EXPECT_EQ(check.senseArea[12], 0x21);
  EXPECT_EQ(check.senseArea[13], 0x01);
  // Only the 14 bytes asked for are written.
  EXPECT_EQ(check.senseArea[14], 0);

  // Descriptor-format sense is rewritten so the key, ASC and ASCQ sit where they are read.
  AspiExecRequest descriptor = ReadRequest(buffer);
  sense = {};
  sense[0] = 0x72;
  sense[1] = 0x02;
  sense[2] = 0x3A;
  sense[3] = 0x00;
  io.sb_len_wr = 8;
  aspi::CompleteExecRequest(descriptor, true, io, sense);
  EXPECT_EQ(descriptor.senseArea[0], 0x70);
  EXPECT_EQ(descriptor.senseArea[2], 0x02);
  EXPECT_EQ(descriptor.senseArea[12], 0x3A);
}

TEST(AspiLibraryCore, RequestThatNeverReachedTheDriveEndsAborted) {
  std::vector<std::uint8_t> buffer(2048);
  aspi::SenseBuffer sense{};
  sg_io_hdr_t io{};
  AspiExecRequest failedIoctl = ReadRequest(buffer);
  aspi::CompleteExecRequest(failedIoctl, false, io, sense);
  EXPECT_EQ(failedIoctl.status, t::kAspiAborted);

  io.host_status = 0x03;  // timed out in the adapter
  AspiExecRequest timedOut = ReadRequest(buffer);
  aspi::CompleteExecRequest(timedOut, true, io, sense);
  EXPECT_EQ(timedOut.status, t::kAspiAborted);
  EXPECT_EQ(timedOut.hostAdapterStatus, 0x03);

  io.host_status = 0;
  io.driver_status = 0x06;  // driver timeout
  AspiExecRequest driver = ReadRequest(buffer);
  aspi::CompleteExecRequest(driver, true, io, sense);
  EXPECT_EQ(driver.status, t::kAspiAborted);
}

bool MachineHasOpticalDrive() {
  struct stat info {};
  return ::stat("/dev/sr0", &info) == 0;
}

TEST(ShippedAspiLibrary, WithoutDrivesReportsNoAdaptersAndRefusesEveryAddress) {
  if (MachineHasOpticalDrive()) GTEST_SKIP() << "this machine has an optical drive";
  auto system = platform::MakeSystemOs();
  t::clsCDECL caller(*system);
  ASSERT_TRUE(caller.DllLoad(BRINDLE_SHIPPED_ASPI_PATH));
  EXPECT_EQ(caller.CallFunc(t::kGetSupportInfoName), 0xE800);

  t::AspiDeviceTypeRequest type{};
  type.command = t::kAspiGetDeviceType;
  caller.CallFunc(t::kSendCommandName, {reinterpret_cast<std::intptr_t>(&type)});
  EXPECT_EQ(type.status, t::kAspiNoDevice);

  std::vector<std::uint8_t> buffer(2048);
  AspiExecRequest exec = ReadRequest(buffer);
  // Refused at once: the status is set before the call returns.
  caller.CallFunc(t::kSendCommandName, {reinterpret_cast<std::intptr_t>(&exec)});
  EXPECT_EQ(t::LoadRequestStatus(exec.status), t::kAspiInvalidAdapter);

  t::AspiTimeoutRequest timeout{};
  timeout.command = t::kAspiTimeouts;
  timeout.flags = t::kAspiDataOut;
  timeout.timeout = 10;
  caller.CallFunc(t::kSendCommandName, {reinterpret_cast<std::intptr_t>(&timeout)});
  EXPECT_NE(timeout.status, t::kAspiComplete);

  std::uint8_t unknown[16] = {99};
  EXPECT_EQ(caller.CallFunc(t::kSendCommandName, {reinterpret_cast<std::intptr_t>(unknown)}),
            t::kAspiInvalidRequest);
  caller.DllUnload();
}

TEST(ShippedAspiLibrary, TransportOverItWithoutDrivesIsInstalledButNotInitialized) {
  if (MachineHasOpticalDrive()) GTEST_SKIP() << "this machine has an optical drive";
  AspiMachine os;
  os.aspiLibrary = BRINDLE_SHIPPED_ASPI_PATH;
  t::clsASPI aspi(os, [] {});
  EXPECT_TRUE(aspi.Installed());
  EXPECT_FALSE(aspi.Initialized());
  EXPECT_EQ(aspi.DriveCount(), 0);
  // A command for an address with no device ends at once instead of hanging the poll.
  std::vector<std::uint8_t> buffer(2048);
  EXPECT_NE(aspi.ExecCMD(std::string(3, '\0'), Read10(0, 1), 10, 0, buffer.data(), 2048, 5), 0);
}

}  // namespace
}  // namespace brindle::testing
