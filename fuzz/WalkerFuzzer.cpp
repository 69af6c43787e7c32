// The Opera library over an untrusted image held in memory: the label, the walk of the whole
// tree and every entry read through its copies. It must end, stay inside its buffers, and never
// give an entry more bytes than it holds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "MemoryDevice.h"
#include "media/BlockDevice.h"
#include "opera/EntryReader.h"
#include "opera/Walker.h"

namespace {

using brindle::fuzz::MemoryDevice;

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
