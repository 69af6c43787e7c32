// Hashes of a disc's tracks as a dump's track files hold them (size, CRC-32, MD5, SHA-1), over
// media's raw 2352-byte sector view, and optionally of the 2048-byte user data of the data
// tracks alone, as lists of ISO images carry them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "media/BlockDevice.h"

namespace brindle::identify {

struct Digests {
  std::uint64_t size = 0;
  std::uint32_t crc32 = 0;
  std::array<std::uint8_t, 16> md5{};
  std::array<std::uint8_t, 20> sha1{};

  bool operator==(const Digests&) const = default;
};

// Lower-case hexadecimal, as the databases write hashes.
std::string Hex(std::uint32_t crc32);
template <std::size_t N>
std::string Hex(const std::array<std::uint8_t, N>& bytes);

struct TrackHashes {
  media::TrackInfo track;
  Digests raw;                  // the track's 2352-byte sectors, pregap included
  std::optional<Digests> user;  // the 2048 user bytes of each sector (Mode 1 data tracks)
  // Sectors the source could not deliver (hashed as zeros): the hashes are then not the disc's.
  std::uint64_t badSectors = 0;
};

struct HashOptions {
  bool userData = false;  // also hash the user data of Mode 1 data tracks
  // Told the bytes of each stretch of a track once every hash has taken them; called from the
  // hashing threads, possibly from two at once.
  std::function<void(std::uint64_t bytes)> hashed;
  // Told when a track's hashes are final.
  std::function<void()> trackDone;
};

// The bytes HashTracks goes through: the tracks' 2352-byte sectors, pregaps included.
std::uint64_t RawBytes(const std::vector<media::TrackInfo>& tracks);

// A CD holds at most about 100 minutes of sectors. A longer track means a source that does not
// know its size (a drive that did not say its capacity) and would cost hours of reading.
inline constexpr std::uint64_t kMaxTrackSectors = 450000;

// Why the tracks cannot be hashed (a track longer than a CD holds); empty when they can.
std::string CheckTrackSizes(const std::vector<media::TrackInfo>& tracks);

// Reads every track once, start to end, and hashes it; reading and hashing run on threads of
// their own, each hash over the same stream in one pass.
std::vector<TrackHashes> HashTracks(media::BlockDevice& device, const HashOptions& options);

}  // namespace brindle::identify
