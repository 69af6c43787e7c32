// Raw CD sectors: a data track stored sector by sector with its sync, header and error-detection
// bytes (2352 bytes, or 2448 with 96 bytes of subcode after each), as drives dump them; also the
// headerless Mode 2 sectors (2336 bytes) and plain 2048-byte sectors a CUE sheet may describe.
// Each sector is checked (sync, mode, address, EDC) before its 2048 user bytes are handed out.
// Error-correction (ECC) bytes are not used: a sector that fails its check is reported, not
// repaired, and the volume's other copies of the block are the remedy.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "media/BlockDevice.h"
#include "media/ImageFile.h"

namespace brindle::media {

// How a data track's sectors carry their 2048 user bytes.
enum class SectorMode : std::uint8_t {
  Mode1,       // user data after a 16-byte sync and header; EDC over bytes 0..2063
  Mode2Form1,  // user data after sync, header and an 8-byte subheader; EDC over the subheader
};

// Where a data track lies in its file and how its sectors are stored.
struct RawTrack {
  std::uint64_t offset = 0;         // byte offset of the track's first sector in the file
  std::uint64_t sectorCount = 0;    // sectors of the track (the last may be cut off by the file)
  std::uint32_t sectorSize = 2352;  // 2048 (user data only), 2336 (Mode 2 without sync and
                                    // header), 2352 or 2448 (raw, with subcode after)
  SectorMode mode = SectorMode::Mode1;
};

// How the first sectors at offset in a file look when read as sectorSize-byte raw sectors.
struct RawProbe {
  std::size_t sectors = 0;  // probed (16, fewer where the file ends)
  std::size_t mode1 = 0;    // with the sync pattern and data mode 1
  std::size_t mode2 = 0;    // with the sync pattern and data mode 2
  std::size_t raw() const { return mode1 + mode2; }
};
RawProbe ProbeRawSectors(const ImageFile& file, std::uint64_t offset, std::uint32_t sectorSize);

// The file's layout when it starts with raw sectors (2352 or 2448 bytes, Mode 1 or Mode 2): most
// of its first sectors carry the sync pattern at the right stride and a data mode byte. Nothing
// for anything else (a 2048-byte image, a CUE sheet, an audio track).
std::optional<RawTrack> DetectRawSectors(const ImageFile& file);

class RawImage final : public BlockDevice {
 public:
  // A device over track inside file, opened from path (a whole raw image as DetectRawSectors
  // found it, or one track of a CUE sheet's BIN).
  RawImage(ImageFile file, std::string path, RawTrack track);

  std::uint64_t blockCount() const override { return track_.sectorCount; }
  std::string describe() const override;
  std::vector<TrackInfo> tracks() const override;
  // Only 2048-byte sectors lie in the file as plain blocks.
  std::optional<FileRange> fileRange(std::uint64_t first, std::uint64_t count) const override;

  const ImageFile& file() const { return file_; }

 protected:
  // Many sectors per file read, checked and unpacked in place; no shared cursor.
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<BlockStatus> status) override;
  // The track's sectors as stored (raw ones copied, 2048-byte ones rebuilt from address 0).
  void readRawSectors(std::size_t track, std::uint64_t first, std::span<std::uint8_t> out,
                      std::span<BlockStatus> status) override;

 private:
  ImageFile file_;
  std::string path_;
  RawTrack track_;
  std::uint64_t fileBytes_ = 0;
  // The header address (in frames, lead-in included) of the track's first sector, learnt from the
  // first sectors that pass their check; later sectors must carry it plus their index, so a
  // sector the drive delivered from the wrong place fails. Nothing when it could not be learnt.
  std::optional<std::uint32_t> addressBase_;
};

// The error-detection code of a sector's bytes: CRC-32 over the reflected polynomial 0xD8018001,
// started at 0, not inverted. Mode 1 stores it after bytes 0..2063, Mode 2 Form 1 after 16..2071,
// least significant byte first.
std::uint32_t SectorEdc(std::span<const std::uint8_t> bytes);

// Checks one stored data sector of a track stored as `sectorSize`-byte sectors in `mode` as a
// raw image's sectors are checked: sync, mode, header address (when expectedAddress is given,
// in frames with the lead-in's 150) and EDC; a 2048-byte sector carries nothing to check.
// dataAt gets where its 2048 user bytes start.
BlockStatus CheckStoredSector(const std::uint8_t* sector, std::uint32_t sectorSize, SectorMode mode,
                              std::optional<std::uint32_t> expectedAddress, std::size_t& dataAt);

// The header address (frames, the lead-in's 150 included) of a track's first sector, learnt from
// the first of its sectors 0..7 that carries a valid address and passes its check, so that a
// later sector delivered from the wrong place fails; sector(i) gives sector i's stored bytes, or
// null where they cannot be had. Nothing when no such sector is found.
std::optional<std::uint32_t> LearnAddressBase(
    std::uint32_t sectorSize, SectorMode mode,
    const std::function<const std::uint8_t*(std::uint64_t)>& sector);

// Text of a data track's mode as a CUE sheet writes it ("MODE1/2352", "MODE2/2336", ...).
std::string ModeText(const RawTrack& track);

}  // namespace brindle::media
