#include "media/RawImage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "media/RawSectors.h"

namespace brindle::media {
namespace {

constexpr std::uint32_t kRawSectorSize = 2352;
constexpr std::uint32_t kSubcodeSectorSize = 2448;
constexpr std::uint32_t kHeaderlessMode2Size = 2336;
constexpr std::uint64_t kSectorsPerRead = 64;
constexpr std::uint32_t kLeadInFrames = 150;  // header addresses count the two-second lead-in
constexpr std::uint32_t kFramesPerSecond = 75;
constexpr std::array<std::uint8_t, 12> kSync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::size_t kHeaderEnd = 16;        // sync (12) + address (3) + mode (1)
constexpr std::size_t kSubheaderSize = 8;     // Mode 2: file, channel, submode, coding, twice
constexpr std::uint8_t kSubmodeForm2 = 0x20;  // Mode 2 submode bit: Form 2 (2324 user bytes)
constexpr std::size_t kEdcSize = 4;

// The sectors' error-detection code: a CRC-32 over the reflected polynomial 0xD8018001, started
// at 0 and not inverted at the end. Sixteen tables let the loop take sixteen bytes per step
// (sixteen independent lookups), which keeps checking a raw image close to the speed of copying
// it and rebuilding a sector's EDC well below the cost of hashing it.
struct EdcTables {
  std::array<std::array<std::uint32_t, 256>, 16> t{};
  constexpr EdcTables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1) ? 0xD8018001u : 0u);
      t[0][i] = c;
    }
    for (std::size_t k = 1; k < 16; ++k) {
      for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
  }
};
constexpr EdcTables kEdc;

std::uint32_t LittleEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

std::uint32_t Edc(const std::uint8_t* p, std::size_t n) {
  const auto& t = kEdc.t;
  std::uint32_t crc = 0;
  for (; n >= 16; n -= 16, p += 16) {
    crc ^= LittleEndian32(p);
    crc = t[15][crc & 0xFF] ^ t[14][(crc >> 8) & 0xFF] ^ t[13][(crc >> 16) & 0xFF] ^
          t[12][crc >> 24] ^ t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^
          t[6][p[9]] ^ t[5][p[10]] ^ t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^
          t[0][p[15]];
  }
  for (; n > 0; --n, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return crc;
}

// True when the EDC over bytes [from, from + length) equals the one stored right after them.
bool EdcMatches(const std::uint8_t* sector, std::size_t from, std::size_t length) {
  return Edc(sector + from, length) == LittleEndian32(sector + from + length);
}

std::optional<std::uint32_t> FromBcd(std::uint8_t v) {
  if ((v >> 4) > 9 || (v & 0x0F) > 9) return std::nullopt;
  return (v >> 4) * 10u + (v & 0x0Fu);
}

// The frame address a raw sector's header carries; nothing when it is not valid BCD.
std::optional<std::uint32_t> HeaderAddress(const std::uint8_t* sector) {
  const auto m = FromBcd(sector[12]);
  const auto s = FromBcd(sector[13]);
  const auto f = FromBcd(sector[14]);
  if (!m || !s || !f || *s >= 60 || *f >= kFramesPerSecond) return std::nullopt;
  return (*m * 60 + *s) * kFramesPerSecond + *f;
}

bool IsRaw(const RawTrack& track) {
  return track.sectorSize == kRawSectorSize || track.sectorSize == kSubcodeSectorSize;
}

std::uint8_t ModeByte(SectorMode mode) {
  return mode == SectorMode::Mode1 ? 1 : 2;
}

// Checks one stored sector; Good and the offset of its user data, or FailedCheck.
struct Checked {
  BlockStatus status = BlockStatus::FailedCheck;
  std::size_t dataAt = 0;
};

Checked CheckSector(const std::uint8_t* sector, const RawTrack& track,
                    std::optional<std::uint32_t> expectedAddress) {
  if (track.sectorSize == kBlockSize) return {BlockStatus::Good, 0};
  if (track.sectorSize == kHeaderlessMode2Size) {
    if (sector[2] & kSubmodeForm2) return {};
    const bool ok = EdcMatches(sector, 0, kSubheaderSize + kBlockSize);
    return {ok ? BlockStatus::Good : BlockStatus::FailedCheck, kSubheaderSize};
  }
  if (std::memcmp(sector, kSync.data(), kSync.size()) != 0) return {};
  if (sector[15] != ModeByte(track.mode)) return {};
  if (expectedAddress && HeaderAddress(sector) != expectedAddress) return {};
  if (track.mode == SectorMode::Mode1) {
    const bool ok = EdcMatches(sector, 0, kHeaderEnd + kBlockSize);
    return {ok ? BlockStatus::Good : BlockStatus::FailedCheck, kHeaderEnd};
  }
  if (sector[kHeaderEnd + 2] & kSubmodeForm2) return {};
  const bool ok = EdcMatches(sector, kHeaderEnd, kSubheaderSize + kBlockSize);
  return {ok ? BlockStatus::Good : BlockStatus::FailedCheck, kHeaderEnd + kSubheaderSize};
}

}  // namespace

RawProbe ProbeRawSectors(const ImageFile& file, std::uint64_t offset, std::uint32_t sectorSize) {
  constexpr std::size_t kProbes = 16;  // a damaged first sector does not hide the rest
  std::vector<std::uint8_t> bytes(kProbes * sectorSize);
  const auto got = file.readSome(offset, bytes);
  RawProbe probe;
  for (std::size_t i = 0; got && i < kProbes && i * sectorSize + kHeaderEnd <= *got; ++i) {
    const std::uint8_t* sector = bytes.data() + i * sectorSize;
    ++probe.sectors;
    if (std::memcmp(sector, kSync.data(), kSync.size()) != 0) continue;
    if (sector[15] == 1) ++probe.mode1;
    if (sector[15] == 2) ++probe.mode2;
  }
  return probe;
}

std::optional<RawTrack> DetectRawSectors(const ImageFile& file) {
  const auto bytes = file.size();
  if (!bytes) return std::nullopt;
  std::optional<RawTrack> best;
  std::size_t bestMatches = 0;
  for (const std::uint32_t size : {kRawSectorSize, kSubcodeSectorSize}) {
    const RawProbe probe = ProbeRawSectors(file, 0, size);
    const std::size_t matches = probe.raw();
    if (matches == 0 || matches * 2 <= probe.sectors || matches <= bestMatches) continue;
    bestMatches = matches;
    best = RawTrack{0, (*bytes + size - 1) / size, size,
                    probe.mode2 > probe.mode1 ? SectorMode::Mode2Form1 : SectorMode::Mode1};
  }
  return best;
}

BlockStatus CheckStoredSector(const std::uint8_t* sector, std::uint32_t sectorSize, SectorMode mode,
                              std::optional<std::uint32_t> expectedAddress, std::size_t& dataAt) {
  RawTrack track;
  track.sectorSize = sectorSize;
  track.mode = mode;
  const Checked checked = CheckSector(sector, track, expectedAddress);
  dataAt = checked.dataAt;
  return checked.status;
}

std::optional<std::uint32_t> LearnAddressBase(
    std::uint32_t sectorSize, SectorMode mode,
    const std::function<const std::uint8_t*(std::uint64_t)>& sector) {
  constexpr std::uint64_t kTries = 8;
  for (std::uint64_t i = 0; i < kTries; ++i) {
    const std::uint8_t* bytes = sector(i);
    const auto address = bytes ? HeaderAddress(bytes) : std::nullopt;
    std::size_t dataAt = 0;
    if (address && *address >= i &&
        CheckStoredSector(bytes, sectorSize, mode, std::nullopt, dataAt) == BlockStatus::Good)
      return static_cast<std::uint32_t>(*address - i);
  }
  return std::nullopt;
}

std::uint32_t SectorEdc(std::span<const std::uint8_t> bytes) {
  return Edc(bytes.data(), bytes.size());
}

std::string ModeText(const RawTrack& track) {
  if (track.sectorSize == kBlockSize) return "MODE1/2048";
  if (track.sectorSize == kHeaderlessMode2Size) return "MODE2/2336";
  return std::string(track.mode == SectorMode::Mode1 ? "MODE1/" : "MODE2/") +
         std::to_string(track.sectorSize);
}

RawImage::RawImage(ImageFile file, std::string path, RawTrack track)
    : file_(std::move(file)), path_(std::move(path)), track_(track) {
  fileBytes_ = file_.size().value_or(0);
  if (!IsRaw(track_)) return;
  const std::uint32_t size = track_.sectorSize;
  std::vector<std::uint8_t> sectors(
      static_cast<std::size_t>(std::min<std::uint64_t>(8, track_.sectorCount) * size));
  const std::size_t got = file_.readSome(track_.offset, sectors).value_or(0);
  addressBase_ = LearnAddressBase(size, track_.mode, [&](std::uint64_t i) {
    return (i + 1) * size <= got ? sectors.data() + i * size : nullptr;
  });
}

void RawImage::readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                          std::span<BlockStatus> status) {
  const std::uint32_t size = track_.sectorSize;
  if (size == kBlockSize) {
    // The sectors are the blocks: one read straight into out.
    const auto got = file_.readSome(track_.offset + first * kBlockSize, out);
    const std::size_t whole = got ? std::min(*got / kBlockSize, status.size()) : 0;
    std::fill_n(status.begin(), whole, BlockStatus::Good);
    return;
  }
  // One scratch buffer per thread, kept between calls: reads stay free of allocation.
  thread_local std::vector<std::uint8_t> scratch;
  scratch.resize(kSectorsPerRead * kSubcodeSectorSize);
  for (std::size_t done = 0; done < status.size();) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(kSectorsPerRead, status.size() - done));
    const std::uint64_t sector = first + done;
    const auto got = file_.readSome(track_.offset + sector * size,
                                    std::span<std::uint8_t>(scratch.data(), n * size));
    for (std::size_t i = 0; i < n; ++i) {
      std::uint8_t* block = out.data() + (done + i) * kBlockSize;
      // The subcode after a sector is not needed: a file cut inside it loses nothing.
      if (!got || *got < i * size + std::min(size, kRawSectorSize)) continue;  // Unreadable
      std::optional<std::uint32_t> expected;
      if (addressBase_) expected = static_cast<std::uint32_t>(*addressBase_ + sector + i);
      const Checked checked = CheckSector(scratch.data() + i * size, track_, expected);
      status[done + i] = checked.status;
      if (checked.status == BlockStatus::Good) {
        std::memcpy(block, scratch.data() + i * size + checked.dataAt, kBlockSize);
      }
    }
    done += n;
  }
}

void RawImage::readRawSectors(std::size_t, std::uint64_t first, std::span<std::uint8_t> out,
                              std::span<BlockStatus> status) {
  ReadRawSectors(file_, track_, 0, first, out, status);
}

std::string RawImage::describe() const {
  return "raw " + std::to_string(track_.sectorSize) + "-byte sectors, " +
         (track_.mode == SectorMode::Mode1 ? "Mode 1" : "Mode 2 Form 1");
}

std::vector<TrackInfo> RawImage::tracks() const {
  TrackInfo info;
  info.mode = ModeText(track_);
  info.sectorSize = track_.sectorSize;
  info.sectorCount = track_.sectorCount;
  info.file = path_;
  return {info};
}

std::optional<FileRange> RawImage::fileRange(std::uint64_t first, std::uint64_t count) const {
  if (track_.sectorSize != kBlockSize || first >= track_.sectorCount) return std::nullopt;
  const std::uint64_t offset = track_.offset + first * kBlockSize;
  const std::uint64_t trackEnd =
      std::min(fileBytes_, track_.offset + track_.sectorCount * kBlockSize);
  if (offset >= trackEnd) return std::nullopt;
  count = std::min(count, track_.sectorCount - first);
  return FileRange{file_.nativeHandle(), offset, std::min(count * kBlockSize, trackEnd - offset)};
}

}  // namespace brindle::media
