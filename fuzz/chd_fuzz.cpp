// Fuzz target: a CHD file's bytes through the header, metadata, map and hunk decoders; every
// block of whatever opens is read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/Chd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  brindle::media::MediaError error;
  auto device =
      brindle::media::OpenChdBytes(std::vector<std::uint8_t>(data, data + size), "fuzz", error);
  if (!device) return 0;
  constexpr std::uint64_t kRun = 16;
  std::vector<std::uint8_t> bytes(kRun * brindle::media::kBlockSize);
  std::vector<brindle::media::BlockStatus> status(kRun);
  // Blocks are many for a large claimed track; a run every so often covers each hunk kind
  // without making one input take seconds.
  const std::uint64_t count = device->blockCount();
  const std::uint64_t stride = count > 4096 ? count / 256 : kRun;
  for (std::uint64_t first = 0; first < count; first += stride) device->read(first, bytes, status);
  (void)device->tracks();
  (void)device->describe();
  return 0;
}
