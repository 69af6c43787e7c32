// The raw 2352-byte view of a disc's sectors, as a dump of the disc holds them: sync, header, user
// data, EDC and ECC. Where a container stores only the 2048 user bytes of a Mode 1 sector, the
// rest is fully determined by those bytes and the sector's address, and is rebuilt here.
#pragma once

#include <cstdint>
#include <span>

#include "media/BlockDevice.h"
#include "media/ImageFile.h"
#include "media/RawImage.h"

namespace brindle::media {

// Header addresses count the two-second lead-in: the sector at LBA 0 carries 00:02:00.
inline constexpr std::uint32_t kLeadInSectors = 150;

// Fills in the sync, the header (address lba + 150, mode 1), the EDC, the zero field and the
// P and Q ECC of a sector whose 2048 user bytes already lie at bytes 16..2063.
void BuildMode1Sector(std::span<std::uint8_t, kRawSectorBytes> sector, std::uint64_t lba);

// Fills in the sync and the header (address lba + 150, mode 2) of a Mode 2 sector whose 2336
// bytes after the header are in place.
void BuildMode2Header(std::span<std::uint8_t, kRawSectorBytes> sector, std::uint64_t lba);

// Turns count 2048-byte user blocks at the start of out into count Mode 1 sectors in place (out
// holds count x 2352 bytes); the first one is at address firstLba.
void ExpandToMode1(std::span<std::uint8_t> out, std::size_t count, std::uint64_t firstLba);

// Raw sectors [first, first + status.size()) of a track stored in file as track describes it
// (its first sector, at track.offset, has address firstLba), all inside the track: raw sectors
// are copied as stored (subcode left out), user-data-only and headerless Mode 2 sectors get what
// they lack rebuilt. Those the file cannot give are Unreadable (their bytes left to the caller).
void ReadRawSectors(const ImageFile& file, const RawTrack& track, std::uint64_t firstLba,
                    std::uint64_t first, std::span<std::uint8_t> out,
                    std::span<BlockStatus> status);

}  // namespace brindle::media
