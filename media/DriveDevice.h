// A disc in a drive as a block device: READ(10) of many blocks per command, single blocks only
// around a failure, each tried twice. Quiet: failures are reported per block, never shown.
#pragma once

#include <mutex>
#include <string>

#include "media/BlockDevice.h"
#include "transport/ISCSI.h"

namespace brindle::media {

class DriveDevice final : public BlockDevice {
 public:
  // Blocks per READ(10): 64 KiB, a transfer every transport takes.
  static constexpr std::uint32_t kRunBlocks = 32;
  // Blocks per READ(10) over pass-through, first: 256 KiB, a quarter of the commands, each of
  // which costs the drive's interface a round trip. A host adapter refuses a transfer larger than
  // it can take rather than cut it short; one that refuses this size (a large run fails while
  // each of its 64 KiB parts reads) is sent 64 KiB runs from then on.
  static constexpr std::uint32_t kLargeRunBlocks = 128;

  // handle names the drive to the transport; label is the drive list's text for it. Asks the
  // drive for its capacity; a drive that does not say reads as large as READ(10) can address.
  DriveDevice(transport::ISCSI& transport, std::string handle, std::string label);

  std::uint64_t blockCount() const override { return blocks_; }
  std::string describe() const override { return "drive " + label_; }
  std::vector<TrackInfo> tracks() const override;
  bool serial() const override { return true; }

  // Commands sent so far (for measuring how a read was split).
  std::uint64_t commandsSent() const { return commands_; }

 protected:
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<BlockStatus> status) override;

 private:
  bool readRun(std::uint64_t first, std::uint32_t count, std::uint8_t* into);
  // One run of at most kRunBlocks, block by block where it fails; true when it read whole.
  bool readSmallRun(std::uint64_t first, std::uint32_t count, std::uint8_t* into,
                    std::span<BlockStatus> status);

  transport::ISCSI& transport_;
  std::string handle_;
  std::string label_;
  std::uint64_t blocks_ = 0;
  std::mutex mutex_;  // one command at a time
  std::uint64_t commands_ = 0;
  std::uint32_t runBlocks_ = kRunBlocks;
};

}  // namespace brindle::media
