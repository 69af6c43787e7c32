// The layout of a CHD version 5 file as this reader sees it: the header, the hunk map (each
// hunk's place, size, codec and CRC16) and the CD track table from the metadata. Everything here
// comes from untrusted bytes and is checked against the caps below before it is handed out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brindle::media::chd {

inline constexpr std::size_t kHeaderBytes = 124;
inline constexpr std::uint32_t kFrameBytes = 2448;   // one CD frame: 2352 sector + 96 subcode
inline constexpr std::uint32_t kSectorBytes = 2352;  // the sector part of a frame
inline constexpr std::uint32_t kSubcodeBytes = 96;   // the subcode part of a frame
inline constexpr std::uint32_t kMaxHunkBytes = 1 << 20;
// A CD holds at most about 100 minutes (450,000 frames, 1.1 GB as CHD frames); anything claiming
// more than this is not a CD and would only make the map large.
inline constexpr std::uint64_t kMaxLogicalBytes = 2ull << 30;
inline constexpr std::uint32_t kMaxTrackFrames = 500000;
inline constexpr int kMaxTracks = 99;
inline constexpr int kMaxMetadataEntries = 1024;
inline constexpr std::uint32_t kMaxTrackMetadataBytes = 4096;

// Four-character codec tags as the header stores them.
constexpr std::uint32_t Tag(const char (&text)[5]) {
  return std::uint32_t(std::uint8_t(text[0])) << 24 | std::uint32_t(std::uint8_t(text[1])) << 16 |
         std::uint32_t(std::uint8_t(text[2])) << 8 | std::uint32_t(std::uint8_t(text[3]));
}
std::string TagText(std::uint32_t tag);

struct Header {
  std::array<std::uint32_t, 4> codecs{};  // 0: no codec in that slot
  std::uint64_t logicalBytes = 0;
  std::uint64_t mapOffset = 0;
  std::uint64_t metaOffset = 0;
  std::uint32_t hunkBytes = 0;
  std::uint32_t unitBytes = 0;
  std::uint32_t hunkCount = 0;
  bool compressed = false;  // false: the map is a table of plain hunk positions
};

enum class HunkKind : std::uint8_t {
  Codec,   // compressed by codecs[codec]
  Stored,  // hunkBytes bytes as they are
  Zero,    // not stored at all: all zeros (uncompressed CHDs)
  Broken,  // the map entry cannot be used (bad codec slot, bad self reference)
};

struct HunkEntry {
  std::uint64_t offset = 0;    // in the file
  std::uint32_t length = 0;    // stored bytes
  std::uint32_t dataHunk = 0;  // the hunk whose bytes these are (itself, or the one it repeats)
  std::uint16_t crc = 0;
  bool hasCrc = false;
  HunkKind kind = HunkKind::Broken;
  std::uint8_t codec = 0;
};

struct CdTrack {
  int number = 0;
  std::string type;                  // as stored: MODE1, MODE1_RAW, MODE2_RAW, AUDIO, ...
  std::uint32_t frames = 0;          // frames stored for the track (a stored pregap included)
  std::uint32_t storedPregap = 0;    // leading frames that are the pregap, not the track
  std::uint32_t unstoredPregap = 0;  // pregap frames on the disc before it but not stored
  std::uint32_t postgap = 0;         // frames on the disc after it, not stored
  std::uint64_t chdFrame = 0;        // first stored frame in the CHD's frame sequence
  std::uint64_t discFrame = 0;       // first stored frame on the disc, counting every track's
                                     // frames and gaps
};

struct Layout {
  Header header;
  std::vector<HunkEntry> hunks;
  std::vector<CdTrack> tracks;
};

// Reads the file's bytes at an offset; the CHD reader works over this so it can be fed a file or
// memory alike.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Exactly out.size() bytes at offset; false when the source ends first or a read fails.
  virtual bool readAt(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

// The header, map and track table; nothing when they are damaged or not a CD, with why set to
// the end of a sentence about the file ("needs a parent CHD file, ...").
std::optional<Layout> ReadLayout(const ByteSource& source, std::string& why);

// The CD track types, in CHD's own names.
std::uint32_t FrameDataBytes(const std::string& type);  // 0 for an unknown type
// Where the 2048 user bytes of a data sector start within the stored bytes; nothing for a type
// that holds no 2048-byte data (AUDIO, MODE2_FORM2).
std::optional<std::uint32_t> UserDataOffset(const std::string& type);
// The track mode as a CUE sheet writes it: "MODE1/2352", "AUDIO", ...
std::string CueMode(const std::string& type);

// CRC-16/CCITT (polynomial 0x1021, start 0xFFFF) as the map and the hunks use it.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0xFFFF);

}  // namespace brindle::media::chd
