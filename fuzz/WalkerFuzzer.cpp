// The Opera library over an untrusted image held in memory: the label, the walk of the whole
// tree and every entry read through its copies. It must end, stay inside its buffers, and never
// give an entry more bytes than it holds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/BlockDevice.h"
#include "opera/EntryReader.h"
#include "opera/Walker.h"

namespace {

class MemoryDevice final : public brindle::media::BlockDevice {
 public:
  MemoryDevice(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t blockCount() const override {
    return (size_ + brindle::media::kBlockSize - 1) / brindle::media::kBlockSize;
  }
  void read(std::uint64_t first, std::span<std::uint8_t> out,
            std::span<brindle::media::BlockStatus> status) override {
    if (out.size() != status.size() * brindle::media::kBlockSize) std::abort();
    for (std::size_t i = 0; i < status.size(); ++i) {
      std::uint8_t* into = out.data() + i * brindle::media::kBlockSize;
      std::memset(into, 0, brindle::media::kBlockSize);
      const std::uint64_t at = (first + i) * brindle::media::kBlockSize;
      if (first + i >= blockCount()) {
        status[i] = brindle::media::BlockStatus::PastEnd;
        continue;
      }
      // Blocks whose first byte is 0xEE fail their check, so the copies are exercised.
      const std::size_t n = std::min<std::uint64_t>(brindle::media::kBlockSize, size_ - at);
      std::memcpy(into, data_ + at, n);
      status[i] = into[0] == 0xEE ? brindle::media::BlockStatus::FailedCheck
                                  : brindle::media::BlockStatus::Good;
    }
  }
  std::string describe() const override { return "memory"; }
  std::vector<brindle::media::TrackInfo> tracks() const override { return {}; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brindle;
  MemoryDevice device(data, size);
  media::BlockStatus status{};
  const auto volume = opera::Volume::Open(device, status);
  if (!volume) return 0;
  opera::WalkLimits limits;
  limits.maxEntries = 5000;
  const opera::Tree tree = opera::Walk(*volume, volume->root(), limits);
  if (tree.entries.size() > limits.maxEntries) std::abort();
  opera::EntryReader reader(device);
  std::vector<std::uint8_t> buffer(3 * media::kBlockSize + 5);
  for (const opera::WalkedEntry& w : tree.entries) {
    if (w.parent >= static_cast<std::int64_t>(tree.entries.size())) std::abort();
    // The start and an odd offset near the end of each entry: never more than it holds.
    for (std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{w.entry.byteCount} / 2 + 1}) {
      opera::ReadReport report;
      const std::size_t got = reader.read(w.entry, offset, buffer, report);
      if (got > 0 && offset + got > w.entry.byteCount) std::abort();
    }
  }
  return 0;
}
