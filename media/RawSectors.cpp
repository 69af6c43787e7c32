#include "media/RawSectors.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "media/ChdCodecs.h"

namespace brindle::media {
namespace {

constexpr std::size_t kHeaderEnd = 16;
constexpr std::size_t kEdcAt = kHeaderEnd + kBlockSize;  // 2064
constexpr std::size_t kZeroFieldEnd = 2076;
constexpr std::uint32_t kSubcodeSectorSize = 2448;
constexpr std::uint32_t kHeaderlessMode2Size = 2336;
constexpr std::uint64_t kSectorsPerRead = 64;

std::uint8_t Bcd(std::uint64_t value) {
  return static_cast<std::uint8_t>((value / 10) << 4 | value % 10);
}

void WriteHeader(std::span<std::uint8_t, kRawSectorBytes> sector, std::uint64_t lba,
                 std::uint8_t mode) {
  static constexpr std::uint8_t kSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::memcpy(sector.data(), kSync, sizeof kSync);
  const std::uint64_t address = lba + kLeadInSectors;
  sector[12] = Bcd(address / (60 * 75) % 100);  // minutes wrap past 99, as a header's BCD does
  sector[13] = Bcd(address / 75 % 60);
  sector[14] = Bcd(address % 75);
  sector[15] = mode;
}

}  // namespace

void BuildMode1Sector(std::span<std::uint8_t, kRawSectorBytes> sector, std::uint64_t lba) {
  WriteHeader(sector, lba, 1);
  const std::uint32_t edc = SectorEdc(sector.first(kEdcAt));
  for (int i = 0; i < 4; ++i) sector[kEdcAt + i] = static_cast<std::uint8_t>(edc >> (8 * i));
  std::memset(sector.data() + kEdcAt + 4, 0, kZeroFieldEnd - kEdcAt - 4);
  chd::RebuildSyncAndEcc(sector);
}

void BuildMode2Header(std::span<std::uint8_t, kRawSectorBytes> sector, std::uint64_t lba) {
  WriteHeader(sector, lba, 2);
}

void ExpandToMode1(std::span<std::uint8_t> out, std::size_t count, std::uint64_t firstLba) {
  // Last to first: each block moves to a higher offset, never over one not yet moved.
  for (std::size_t i = count; i-- > 0;) {
    std::uint8_t* sector = out.data() + i * kRawSectorBytes;
    std::memmove(sector + kHeaderEnd, out.data() + i * kBlockSize, kBlockSize);
    BuildMode1Sector(std::span<std::uint8_t, kRawSectorBytes>(sector, kRawSectorBytes),
                     firstLba + i);
  }
}

void ReadRawSectors(const ImageFile& file, const RawTrack& track, std::uint64_t firstLba,
                    std::uint64_t first, std::span<std::uint8_t> out,
                    std::span<BlockStatus> status) {
  const std::size_t inside = status.size();
  const std::uint32_t size = track.sectorSize;
  const std::size_t keep = std::min<std::size_t>(size, kRawSectorBytes);  // subcode left out
  // Where each stored sector's bytes go in its raw sector.
  const std::size_t at = size == kBlockSize ? kHeaderEnd : size == kHeaderlessMode2Size ? 16 : 0;

  thread_local std::vector<std::uint8_t> scratch;
  scratch.resize(kSectorsPerRead * kSubcodeSectorSize);
  for (std::size_t done = 0; done < inside;) {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(kSectorsPerRead, inside - done));
    const std::uint64_t sector = first + done;
    std::uint8_t* into = out.data() + done * kRawSectorBytes;
    // Raw sectors without subcode are read straight into place.
    const bool direct = size == kRawSectorBytes;
    std::uint8_t* stored = direct ? into : scratch.data();
    const auto got = file.readSome(track.offset + sector * size,
                                   std::span<std::uint8_t>(stored, n * std::size_t{size}));
    for (std::size_t i = 0; i < n; ++i) {
      auto raw =
          std::span<std::uint8_t, kRawSectorBytes>(into + i * kRawSectorBytes, kRawSectorBytes);
      if (!got || *got < i * size + keep) {
        status[done + i] = BlockStatus::Unreadable;
        continue;
      }
      status[done + i] = BlockStatus::Good;
      if (direct) continue;
      std::memcpy(raw.data() + at, stored + i * size, keep);
      if (size == kBlockSize) BuildMode1Sector(raw, firstLba + sector + i);
      if (size == kHeaderlessMode2Size) BuildMode2Header(raw, firstLba + sector + i);
    }
    done += n;
  }
}

}  // namespace brindle::media
