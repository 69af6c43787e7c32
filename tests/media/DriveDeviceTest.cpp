// The drive device over a drive that answers READ(10) from an image and fails every command that
// touches a bad block, leaving junk in the transfer as a real failed transfer may.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "media/DriveDevice.h"
#include "sector/SectorData.h"

namespace brindle::media {
namespace {

constexpr std::uint32_t kBlocks = 200;

class ImageDrive final : public transport::ISCSI {
 public:
  std::set<std::uint32_t> bad;           // every read touching one fails
  std::set<std::uint32_t> badOnce;       // fails the first time only
  std::vector<std::uint32_t> transfers;  // blocks per READ(10)
  std::string interface = "SPTI";
  std::uint32_t largestTransfer = 0xFFFF;  // blocks; a larger READ(10) is refused by the adapter

  static std::uint8_t Byte(std::uint32_t block, std::size_t i) {
    return static_cast<std::uint8_t>(block * 7 + i * 13 + (i >> 8));
  }

  std::string Interface() override { return interface; }
  std::uint8_t LastASCQ() override { return 0; }
  std::uint8_t LastASC() override { return 0x11; }
  std::uint8_t LastSK() override { return 3; }
  bool Initialized() override { return true; }
  bool Installed() override { return true; }
  std::int16_t DriveCount() override { return 1; }
  std::string DriveChar(const std::string&) override { return "D"; }
  std::string DriveHandle(std::int16_t) override { return "D"; }
  std::uint8_t HostAdapter(const std::string&) override { return 0; }
  std::uint8_t TargetID(const std::string&) override { return 0; }
  std::uint8_t LUN(const std::string&) override { return 0; }

  std::int32_t ExecCMD(const std::string&, std::span<const std::uint8_t> cdb, std::uint8_t,
                       std::int32_t, void* buffer, std::int32_t length, std::int16_t) override {
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (cdb[0] == 0x25) {  // READ CAPACITY: the last block
      std::memset(out, 0, static_cast<std::size_t>(length));
      out[2] = (kBlocks - 1) >> 8;
      out[3] = (kBlocks - 1) & 0xFF;
      return transport::kResultGood;
    }
    const std::uint32_t lba = std::uint32_t{cdb[2]} << 24 | std::uint32_t{cdb[3]} << 16 |
                              std::uint32_t{cdb[4]} << 8 | cdb[5];
    const std::uint32_t count = std::uint32_t{cdb[7]} << 8 | cdb[8];
    EXPECT_EQ(static_cast<std::size_t>(length), std::size_t{count} * kBlockSize);
    transfers.push_back(count);
    if (count > largestTransfer) return transport::kResultRequestFailed;  // nothing moved
    bool failed = false;
    for (std::uint32_t b = lba; b < lba + count; ++b) {
      failed = failed || bad.count(b) > 0 || badOnce.erase(b) > 0 || b >= kBlocks;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(length); ++i) {
      out[i] =
          failed ? 0xEE : Byte(lba + static_cast<std::uint32_t>(i / kBlockSize), i % kBlockSize);
    }
    return failed ? transport::kResultCheckCondition : transport::kResultGood;
  }
};

// Every block of a read, into a page-aligned buffer (the transfer lands in it directly) and into
// one that is not: good blocks hold the image's bytes, bad ones zeros and Unreadable, blocks past
// the end zeros and PastEnd; the drive is sent whole runs, and single blocks only where a run
// failed.
TEST(DriveDeviceTest, ReadsRunsAndIsolatesBadBlocks) {
  struct Case {
    std::uint64_t first;
    std::uint32_t count;
    std::set<std::uint32_t> bad, badOnce;
  };
  const std::vector<Case> cases = {
      {0, 64, {}, {}},         {0, 100, {40}, {}}, {10, 80, {31, 32, 70}, {12}},
      {150, 60, {199}, {160}}, {190, 4, {}, {}},   {kBlocks, 3, {}, {}},
  };
  for (const std::size_t offset : {std::size_t{0}, std::size_t{kBlockSize}, std::size_t{1}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE("first " + std::to_string(c.first) + ", offset " + std::to_string(offset));
      ImageDrive drive;
      drive.bad = c.bad;
      drive.badOnce = c.badOnce;
      DriveDevice device(drive, "D", "D: QEMU");
      ASSERT_EQ(device.blockCount(), kBlocks);
      sector::SectorData buffer(offset + c.count * kBlockSize);
      std::memset(buffer.data(), 0x55, buffer.size());
      const std::span<std::uint8_t> out(buffer.data() + offset, c.count * kBlockSize);
      std::vector<BlockStatus> status(c.count);
      drive.transfers.clear();
      device.read(c.first, out, status);
      std::size_t failedRuns = 0;
      for (std::uint32_t i = 0; i < c.count; ++i) {
        const auto block = static_cast<std::uint32_t>(c.first + i);
        const std::uint8_t* bytes = out.data() + std::size_t{i} * kBlockSize;
        BlockStatus want = BlockStatus::Good;
        if (block >= kBlocks) want = BlockStatus::PastEnd;
        if (c.bad.count(block) > 0) want = BlockStatus::Unreadable;
        EXPECT_EQ(status[i], want) << "block " << block;
        for (std::size_t j = 0; j < kBlockSize; ++j) {
          const std::uint8_t expected = want == BlockStatus::Good ? ImageDrive::Byte(block, j) : 0;
          if (bytes[j] != expected) {
            ADD_FAILURE() << "block " << block << " byte " << j;
            break;
          }
        }
      }
      for (const std::uint32_t n : drive.transfers) {
        EXPECT_LE(n, DriveDevice::kLargeRunBlocks);
        if (n == 1) ++failedRuns;
      }
      // Without failures, whole runs only; and never a byte written before the buffer.
      if (c.bad.empty() && c.badOnce.empty()) {
        EXPECT_EQ(failedRuns, 0u);
      }
      for (std::size_t j = 0; j < offset; ++j) ASSERT_EQ(buffer.data()[j], 0x55);
    }
  }
}

// A host adapter that refuses transfers over 64 KiB costs one refused command, then gets 64 KiB
// runs; an ASPI layer is never sent more than 64 KiB; a bad block inside a large run does not
// give large runs up. The bytes are the image's in every case.
TEST(DriveDeviceTest, LargeTransfersFallBackToWhatTheAdapterTakes) {
  struct Case {
    std::string interface;
    std::uint32_t largest;
    std::set<std::uint32_t> bad;
    std::size_t refusedCommands, largeCommands;  // commands over 64 KiB: refused, all
  };
  const std::vector<Case> cases = {
      {"SPTI", DriveDevice::kRunBlocks, {}, 1, 1},
      {"ASPI", 0xFFFF, {}, 0, 0},
      {"SPTI", 0xFFFF, {5}, 0, 2},  // blocks 0-127 fail as one run (block 5), 128-199 read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.interface + " taking " + std::to_string(c.largest) + " blocks");
    ImageDrive drive;
    drive.interface = c.interface;
    drive.largestTransfer = c.largest;
    drive.bad = c.bad;
    DriveDevice device(drive, "D", "D: QEMU");
    sector::SectorData buffer(kBlocks * kBlockSize);
    std::vector<BlockStatus> status(kBlocks);
    drive.transfers.clear();
    // Two reads: what the first learnt holds for the second.
    device.read(0, std::span(buffer.data(), 100 * kBlockSize), std::span(status).first(100));
    device.read(100, std::span(buffer.data() + 100 * kBlockSize, 100 * kBlockSize),
                std::span(status).subspan(100));
    for (std::uint32_t block = 0; block < kBlocks; ++block) {
      const bool bad = c.bad.count(block) > 0;
      ASSERT_EQ(status[block], bad ? BlockStatus::Unreadable : BlockStatus::Good) << block;
      if (!bad)
        ASSERT_EQ(buffer.data()[block * kBlockSize + 9], ImageDrive::Byte(block, 9)) << block;
    }
    std::size_t refused = 0, large = 0;
    for (const std::uint32_t n : drive.transfers) {
      if (n > c.largest) ++refused;
      if (n > DriveDevice::kRunBlocks) ++large;
    }
    EXPECT_EQ(refused, c.refusedCommands);
    EXPECT_EQ(large, c.largeCommands);
  }
}

}  // namespace
}  // namespace brindle::media
