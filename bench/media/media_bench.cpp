// Helper of bench/media/raw-vs-cp.sh:
//   media-bench make-raw IN.iso OUT.bin   writes a 2048-byte image as raw Mode 1 sectors
//   media-bench convert IMAGE OUT.iso     reads every block of any container, writes the blocks
// convert reads as the command line's conversion does: many blocks per call, large writes.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "media/Containers.h"
#include "media/RawImage.h"

namespace {

using namespace brindle::media;

std::uint8_t Bcd(std::uint64_t v) {
  return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10));
}

int MakeRaw(const char* in, const char* out) {
  std::FILE* src = std::fopen(in, "rb");
  std::FILE* dst = std::fopen(out, "wb");
  if (!src || !dst) return 2;
  std::vector<std::uint8_t> sector(2352);
  std::uint64_t lba = 0;
  while (std::fread(sector.data() + 16, 1, kBlockSize, src) == kBlockSize) {
    std::memset(sector.data(), 0xFF, 12);
    sector[0] = sector[11] = 0;
    const std::uint64_t frames = lba++ + 150;
    sector[12] = Bcd(frames / 75 / 60);
    sector[13] = Bcd(frames / 75 % 60);
    sector[14] = Bcd(frames % 75);
    sector[15] = 1;
    const std::uint32_t edc = SectorEdc(std::span(sector.data(), 2064));
    for (int i = 0; i < 4; ++i) sector[2064 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
    std::memset(sector.data() + 2068, 0, 2352 - 2068);
    if (std::fwrite(sector.data(), 1, sector.size(), dst) != sector.size()) return 2;
  }
  return std::fclose(dst) == 0 && std::fclose(src) == 0 ? 0 : 2;
}

int Convert(const char* in, const char* out) {
  MediaError error;
  const auto device = OpenContainer(in, error);
  if (!device) {
    std::fprintf(stderr, "%s\n", error.message.c_str());
    return 2;
  }
  std::FILE* dst = std::fopen(out, "wb");
  if (!dst) return 2;
  constexpr std::uint64_t kRun = 512;  // 1 MiB of blocks per read and per write
  std::vector<std::uint8_t> bytes(kRun * kBlockSize);
  std::vector<BlockStatus> status(kRun);
  std::uint64_t bad = 0;
  for (std::uint64_t first = 0; first < device->blockCount(); first += kRun) {
    const std::size_t n = static_cast<std::size_t>(std::min(kRun, device->blockCount() - first));
    device->read(first, std::span(bytes).first(n * kBlockSize), std::span(status).first(n));
    for (std::size_t i = 0; i < n; ++i) bad += status[i] != BlockStatus::Good;
    if (std::fwrite(bytes.data(), kBlockSize, n, dst) != n) return 2;
  }
  if (std::fclose(dst) != 0) return 2;
  if (bad > 0) std::fprintf(stderr, "%llu blocks not good\n", static_cast<unsigned long long>(bad));
  return bad > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 4 ? argv[1] : "";
  if (command == "make-raw") return MakeRaw(argv[2], argv[3]);
  if (command == "convert") return Convert(argv[2], argv[3]);
  std::fprintf(stderr, "usage: media-bench make-raw IN.iso OUT.bin | convert IMAGE OUT.iso\n");
  return 2;
}
