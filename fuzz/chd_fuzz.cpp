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
  // Blocks are many for a large claimed track, and each run may decode a hunk of up to 1 MiB:
  // 32 runs spread over the track reach every hunk kind the fuzzer places while keeping an input
  // to milliseconds, so a long campaign gets its millions of runs.
  constexpr std::uint64_t kRuns = 32;
  const std::uint64_t count = device->blockCount();
  const std::uint64_t stride = count > kRuns * kRun ? count / kRuns : kRun;
  for (std::uint64_t first = 0; first < count; first += stride) device->read(first, bytes, status);
  (void)device->tracks();
  (void)device->describe();
  return 0;
}
