// Turning a pass-through record into SG_IO and the kernel's answer back into the record.
#include "platform/SgIo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace brindle::platform::linux_sg {
namespace {

using ::testing::ElementsAre;

PassThroughBuffer Request(std::uint8_t cdbLength = 10, std::uint8_t dataIn = kScsiDataIn,
                          void* data = nullptr, std::uint32_t length = 0) {
  PassThroughBuffer record;
  std::memset(&record, 0, sizeof record);
  record.header.Length = sizeof record.header;
  record.header.CdbLength = cdbLength;
  record.header.Cdb[0] = 0x28;
  record.header.SenseInfoLength = 31;
  record.header.SenseInfoOffset = kSenseAreaOffset;
  record.header.DataIn = dataIn;
  record.header.DataBuffer = data;
  record.header.DataTransferLength = length;
  record.header.TimeOutValue = 5;
  return record;
}

TEST(SgIoRequest, CarriesCommandDataSenseAndTimeOut) {
  std::array<std::uint8_t, 4096> data{};
  PassThroughBuffer record = Request(10, kScsiDataIn, data.data(), 4096);
  SenseBytes sense{};
  sg_io_hdr_t io{};
  ASSERT_TRUE(PrepareRequest(record.header, sizeof record, sense, io));
  EXPECT_EQ(io.interface_id, 'S');
  EXPECT_EQ(io.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(io.cmd_len, 10);
  EXPECT_EQ(io.cmdp[0], 0x28);
  EXPECT_EQ(io.dxferp, data.data());
  EXPECT_EQ(io.dxfer_len, 4096u);
  EXPECT_EQ(io.mx_sb_len, 31);
  EXPECT_EQ(io.sbp, sense.data());
  EXPECT_EQ(io.timeout, 5000u);

  record.header.DataIn = kScsiDataOut;
  record.header.TimeOutValue = 10800;
  ASSERT_TRUE(PrepareRequest(record.header, sizeof record, sense, io));
  EXPECT_EQ(io.dxfer_direction, SG_DXFER_TO_DEV);
  EXPECT_EQ(io.timeout, 10800000u);

  record.header.TimeOutValue = 0xFFFFFFFFu;  // a negative time-out widened: the longest wait
  ASSERT_TRUE(PrepareRequest(record.header, sizeof record, sense, io));
  EXPECT_EQ(io.timeout, 0xFFFFFFFFu);

  record.header.DataTransferLength = 0;
  ASSERT_TRUE(PrepareRequest(record.header, sizeof record, sense, io));
  EXPECT_EQ(io.dxfer_direction, SG_DXFER_NONE);
}

TEST(SgIoRequest, RefusesRecordsNoDriverWouldTake) {
  std::array<std::uint8_t, 16> data{};
  SenseBytes sense{};
  sg_io_hdr_t io{};
  auto refused = [&](PassThroughBuffer record, std::uint32_t size = sizeof(PassThroughBuffer)) {
    return !PrepareRequest(record.header, size, sense, io);
  };
  EXPECT_TRUE(refused(Request(17, kScsiDataIn, data.data(), 16)));
  EXPECT_TRUE(refused(Request(0, kScsiDataIn, data.data(), 16)));
  EXPECT_TRUE(refused(Request(10, 2, data.data(), 16)));
  EXPECT_TRUE(refused(Request(10, kScsiDataIn, nullptr, 16)));
  PassThroughBuffer wrongLength = Request(10, kScsiDataIn, data.data(), 16);
  wrongLength.header.Length = sizeof(ScsiPassThroughDirect) + 4;
  EXPECT_TRUE(refused(wrongLength));
  // The sense area must lie inside the block handed in, after the header.
  PassThroughBuffer senseOutside = Request(10, kScsiDataIn, data.data(), 16);
  senseOutside.header.SenseInfoOffset = sizeof(PassThroughBuffer) - 8;
  EXPECT_TRUE(refused(senseOutside));
  PassThroughBuffer senseOverHeader = Request(10, kScsiDataIn, data.data(), 16);
  senseOverHeader.header.SenseInfoOffset = 4;
  EXPECT_TRUE(refused(senseOverHeader));
  EXPECT_TRUE(refused(Request(10, kScsiDataIn, data.data(), 16), sizeof(ScsiPassThroughDirect)));
  EXPECT_FALSE(refused(Request(16, kScsiDataIn, data.data(), 16)));
}

TEST(SgIoAnswer, TransportFailuresAreToldApartFromDriveStatus) {
  sg_io_hdr_t io{};
  EXPECT_TRUE(DriveAnswered(io));
  io.status = 2;  // CHECK CONDITION from the drive, sense given
  io.driver_status = 0x08;
  EXPECT_TRUE(DriveAnswered(io));
  io = {};
  io.host_status = 0x03;  // DID_TIME_OUT
  EXPECT_FALSE(DriveAnswered(io));
  io = {};
  io.host_status = 0x01;  // DID_NO_CONNECT
  EXPECT_FALSE(DriveAnswered(io));
  io = {};
  io.driver_status = 0x06;  // DRIVER_TIMEOUT
  EXPECT_FALSE(DriveAnswered(io));
  io.driver_status = 0x08 | 0x04;  // sense plus DRIVER_ERROR
  EXPECT_FALSE(DriveAnswered(io));
}

TEST(SgIoAnswer, StoresStatusTransferredLengthAndFixedSense) {
  std::array<std::uint8_t, 2048> data{};
  PassThroughBuffer record = Request(10, kScsiDataIn, data.data(), 2048);
  SenseBytes sense{};
  sg_io_hdr_t io{};
  ASSERT_TRUE(PrepareRequest(record.header, sizeof record, sense, io));
  // ATAPI: fixed format with the valid bit, medium not present.
  const std::uint8_t atapi[] = {0xF0, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x00};
  std::memcpy(sense.data(), atapi, sizeof atapi);
  io.status = 2;
  io.sb_len_wr = sizeof atapi;
  io.resid = 2048;
  StoreAnswer(io, sense, {reinterpret_cast<std::uint8_t*>(&record), sizeof record});
  EXPECT_EQ(record.header.ScsiStatus, 2);
  EXPECT_EQ(record.header.DataTransferLength, 0u);
  EXPECT_EQ(record.header.SenseInfoLength, sizeof atapi);
  EXPECT_EQ(record.sense[0], 0xF0);
  EXPECT_EQ(record.sense[2], 0x02);
  EXPECT_EQ(record.sense[12], 0x3A);
  EXPECT_EQ(record.filler, 0u);

  // A short transfer; a resid the kernel cannot mean is clamped to the length.
  io = {};
  io.dxfer_len = 2048;
  io.mx_sb_len = 31;
  io.resid = 48;
  record = Request(10, kScsiDataIn, data.data(), 2048);
  StoreAnswer(io, sense, {reinterpret_cast<std::uint8_t*>(&record), sizeof record});
  EXPECT_EQ(record.header.ScsiStatus, 0);
  EXPECT_EQ(record.header.DataTransferLength, 2000u);
  EXPECT_EQ(record.header.SenseInfoLength, 0);
  io.resid = -5;
  StoreAnswer(io, sense, {reinterpret_cast<std::uint8_t*>(&record), sizeof record});
  EXPECT_EQ(record.header.DataTransferLength, 2048u);
  io.resid = 99999;
  StoreAnswer(io, sense, {reinterpret_cast<std::uint8_t*>(&record), sizeof record});
  EXPECT_EQ(record.header.DataTransferLength, 0u);
}

TEST(SgIoAnswer, DescriptorSenseIsRewrittenAsFixed) {
  PassThroughBuffer record = Request();
  SenseBytes sense{};
  sg_io_hdr_t io{};
  ASSERT_TRUE(PrepareRequest(record.header, sizeof record, sense, io));
  const std::uint8_t descriptor[] = {0x72, 0x05, 0x21, 0x00, 0, 0, 0, 0};
  std::memcpy(sense.data(), descriptor, sizeof descriptor);
  io.status = 2;
  io.sb_len_wr = sizeof descriptor;
  StoreAnswer(io, sense, {reinterpret_cast<std::uint8_t*>(&record), sizeof record});
  EXPECT_EQ(record.sense[0], 0x70);
  EXPECT_EQ(record.sense[2], 0x05);
  EXPECT_EQ(record.sense[12], 0x21);
  EXPECT_EQ(record.sense[13], 0x00);
  EXPECT_EQ(record.header.SenseInfoLength, 18);

  // Never more than the record's sense length, even when the kernel says it wrote more.
  record = Request();
  record.header.SenseInfoLength = 4;
  ASSERT_TRUE(PrepareRequest(record.header, sizeof record, sense, io));
  const std::uint8_t fixed[] = {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x28, 0, 0, 0, 0, 0};
  std::memcpy(sense.data(), fixed, sizeof fixed);
  io.sb_len_wr = 200;
  StoreAnswer(io, sense, {reinterpret_cast<std::uint8_t*>(&record), sizeof record});
  EXPECT_THAT(std::vector<std::uint8_t>(record.sense, record.sense + 6),
              ElementsAre(0x70, 0, 0x06, 0, 0, 0));
}

}  // namespace
}  // namespace brindle::platform::linux_sg
