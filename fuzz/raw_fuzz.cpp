// Raw sectors from untrusted bytes: detection by content, then every block read back through
// the detected layout and through each other layout a CUE sheet may impose on the same bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "media/RawImage.h"

namespace {

using namespace brindle::media;

void ReadEverything(BlockDevice& device) {
  constexpr std::uint64_t kMaxBlocks = 4096;
  const std::uint64_t blocks = std::min(device.blockCount(), kMaxBlocks);
  std::vector<std::uint8_t> out(70 * kBlockSize);
  std::vector<BlockStatus> status(70);
  for (std::uint64_t first = 0; first <= blocks; first += 70) {
    device.read(first, out, status);
    static const std::vector<std::uint8_t> kZeros(kBlockSize, 0);
    for (std::size_t i = 0; i < status.size(); ++i) {
      // A block that is not Good comes back as zeros.
      if (status[i] != BlockStatus::Good &&
          std::memcmp(out.data() + i * kBlockSize, kZeros.data(), kBlockSize) != 0) {
        __builtin_trap();
      }
    }
  }
  (void)device.fileRange(0, blocks + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memfd_create("raw_fuzz", MFD_CLOEXEC);
  if (fd < 0) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const bool written = write(fd, data, size) == static_cast<ssize_t>(size);
  if (written) {
    if (auto file = ImageFile::Open(path)) {
      if (const auto track = DetectRawSectors(*file)) {
        RawImage image(std::move(*file), path, *track);
        ReadEverything(image);
      }
    }
    const std::uint8_t pick = size > 0 ? data[size - 1] : 0;
    const std::uint32_t sizes[] = {2048, 2336, 2352, 2448};
    RawTrack forced;
    forced.sectorSize = sizes[pick & 3];
    forced.mode = (pick & 4) ? SectorMode::Mode2Form1 : SectorMode::Mode1;
    forced.offset = pick >> 3;
    forced.sectorCount = size / forced.sectorSize + (pick & 1);
    if (auto file = ImageFile::Open(path)) {
      RawImage image(std::move(*file), path, forced);
      ReadEverything(image);
    }
  }
  close(fd);
  return 0;
}
