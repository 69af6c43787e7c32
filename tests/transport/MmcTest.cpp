// The MMC command bytes, and what reaches the drive when they are sent through the real
// pass-through transport.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "tests/support/drive/FakeOs.h"
#include "transport/clsSPTI.h"
#include "transport/modMMC.h"

namespace brindle::transport {
namespace {

using ::testing::ElementsAre;

TEST(ByteHelpers, ShiftRightIsLogicalForEveryShift) {
  EXPECT_EQ(ShiftRight(INT32_MIN, 31), 1);
  EXPECT_EQ(ShiftRight(-1, 24), 255);
  EXPECT_EQ(ShiftRight(-1, 1), 2147483647);
  EXPECT_EQ(ShiftRight(1000, 0), 1000);
  EXPECT_EQ(ShiftRight(1000, -3), 1000);
  EXPECT_EQ(ShiftRight(-1, 32), 0);
  EXPECT_EQ(ShiftRight(-1, 1000), 0);
  EXPECT_EQ(ShiftRight(74565, 8), 291);
  EXPECT_EQ(ShiftRight(-1000, INT32_MIN), -1000);
  EXPECT_EQ(ShiftRight(INT32_MAX, 30), 1);
  EXPECT_EQ(ShiftRight(static_cast<std::int32_t>(0x80000001u), 1), 0x40000000);
}

TEST(ByteHelpers, HiAndLoByteSplitTheSixteenBitPattern) {
  EXPECT_EQ(HiByte(1), 0);
  EXPECT_EQ(LoByte(1), 1);
  EXPECT_EQ(HiByte(-1), 255);
  EXPECT_EQ(LoByte(-1), 255);
  EXPECT_EQ(HiByte(0x1234), 0x12);
  EXPECT_EQ(LoByte(0x1234), 0x34);
  EXPECT_EQ(HiByte(INT16_MIN), 0x80);
  EXPECT_EQ(LoByte(INT16_MIN), 0x00);
}

TEST(CommandBlocks, Read10SendsLbaAndCountMostSignificantByteFirst) {
  EXPECT_THAT(MakeRead10Cdb(74565, 1), ElementsAre(0x28, 0, 0x00, 0x01, 0x23, 0x45, 0, 0, 0x01, 0));
  EXPECT_THAT(MakeRead10Cdb(16, 15), ElementsAre(0x28, 0, 0, 0, 0, 0x10, 0, 0, 0x0F, 0));
  EXPECT_THAT(MakeRead10Cdb(-1, 1), ElementsAre(0x28, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 1, 0));
  EXPECT_THAT(MakeRead10Cdb(INT32_MIN, -1), ElementsAre(0x28, 0, 0x80, 0, 0, 0, 0, 0xFF, 0xFF, 0));
  EXPECT_THAT(MakeInquiryCdb(), ElementsAre(0x12, 0, 0, 0, 0x4C, 0));
}

class MmcOverSpti : public ::testing::Test {
 protected:
  MmcOverSpti() {
    std::vector<std::uint8_t> image(20 * 2048);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i / 2048);
    os.addDrive('D', image).setIdentity("VENDOR", "PRODUCT");
  }
  testing::FakeOs os;
  transport::clsSPTI spti{os};
};

TEST_F(MmcOverSpti, Read10GoesOutAsTenBytesDataInWithFiveSeconds) {
  std::vector<std::uint8_t> buffer(15 * 2048);
  ASSERT_EQ(MmcRead10(spti, "D", 16, 4, buffer.data(), 4 * 2048), 0);
  const auto& request = os.passThroughRequests().at(0);
  EXPECT_EQ(request.CdbLength, 10);
  EXPECT_EQ(request.DataIn, 1);
  EXPECT_EQ(request.TimeOutValue, 5u);
  EXPECT_EQ(request.DataTransferLength, 4u * 2048);
  EXPECT_THAT(std::vector<std::uint8_t>(request.Cdb, request.Cdb + 10),
              ElementsAre(0x28, 0, 0, 0, 0, 16, 0, 0, 4, 0));
  EXPECT_EQ(buffer[0], 16);
  EXPECT_EQ(buffer[3 * 2048 + 2047], 19);
  EXPECT_EQ(buffer[4 * 2048], 0);  // nothing past the length asked for
}

TEST_F(MmcOverSpti, Read10ReturnsTheTransportResultUnchanged) {
  std::vector<std::uint8_t> buffer(2048);
  EXPECT_EQ(MmcRead10(spti, "D", 20, 1, buffer.data(), 2048), 2);  // past the end
  EXPECT_EQ(spti.LastASC(), 0x21);
  EXPECT_EQ(MmcRead10(spti, "E", 0, 1, buffer.data(), 2048), 24);
  os.drive('D').failNextRequests(1);
  EXPECT_EQ(MmcRead10(spti, "D", 0, 1, buffer.data(), 2048), 255);
  EXPECT_EQ(os.drive('D').commandCount(), 2);  // one command per call, no retry here
}

TEST_F(MmcOverSpti, InquiryFillsTheRecordWithVendorAndProductAsSent) {
  InquiryData record;
  ASSERT_EQ(MmcInquiry(spti, "D", record), 0);
  EXPECT_EQ(record.vendor(), "VENDOR  ");
  EXPECT_EQ(record.product(), "PRODUCT         ");
  EXPECT_EQ(record.bytes[0], 0x05);
  const auto& request = os.passThroughRequests().at(0);
  EXPECT_EQ(request.CdbLength, 6);
  EXPECT_EQ(request.DataTransferLength, 76u);
  EXPECT_EQ(request.TimeOutValue, 5u);
  EXPECT_EQ(request.DataIn, 1);
  EXPECT_EQ(request.DataBuffer, record.bytes.data());
}

TEST_F(MmcOverSpti, FailedInquiryLeavesTheRecordAsItWas) {
  InquiryData record;
  record.bytes.fill(0xAA);
  os.drive('D').setInquiryFails(true);
  EXPECT_EQ(MmcInquiry(spti, "D", record), 2);
  EXPECT_EQ(record.vendor(), std::string(8, '\xAA'));
}

}  // namespace
}  // namespace brindle::transport
