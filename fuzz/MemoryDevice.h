// An untrusted image held in memory as a block device, for the fuzz targets that read whole
// volumes: blocks past the input read as PastEnd zeros, and a block whose first byte is 0xEE fails
// its check, so reading from the entries' other copies is exercised too.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/BlockDevice.h"

namespace brindle::fuzz {

class MemoryDevice final : public brindle::media::BlockDevice {
 public:
  MemoryDevice(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t blockCount() const override {
    return (size_ + brindle::media::kBlockSize - 1) / brindle::media::kBlockSize;
  }
  bool serial() const override { return true; }  // one copying thread: runs stay comparable
  std::string describe() const override { return "memory"; }
  std::vector<brindle::media::TrackInfo> tracks() const override { return {}; }

 protected:
  // Only runs of blocks the input holds reach here: the base marks the rest PastEnd.
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<brindle::media::BlockStatus> status) override {
    if (out.size() != status.size() * brindle::media::kBlockSize) std::abort();
    for (std::size_t i = 0; i < status.size(); ++i) {
      std::uint8_t* into = out.data() + i * brindle::media::kBlockSize;
      const std::uint64_t at = (first + i) * brindle::media::kBlockSize;
      if (at >= size_) std::abort();
      const std::size_t n = std::min<std::uint64_t>(brindle::media::kBlockSize, size_ - at);
      std::memcpy(into, data_ + at, n);
      std::memset(into + n, 0, brindle::media::kBlockSize - n);
      // Blocks whose first byte is 0xEE fail their check, so the copies are exercised.
      status[i] = into[0] == 0xEE ? brindle::media::BlockStatus::FailedCheck
                                  : brindle::media::BlockStatus::Good;
    }
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace brindle::fuzz
