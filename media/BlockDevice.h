// Block devices: a disc's 2048-byte logical blocks, whatever holds them (a plain image, raw
// sectors, a BIN/CUE set, a CHD file, a drive). Never shows anything, never throws, never exits;
// every read says for each block whether it came back good.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brindle::media {

// The bytes of one logical block: of every disc read, of the Opera volume on it and of every
// image written. The one definition of the block size; unsigned, as it sizes buffers and turns
// block numbers into byte offsets.
inline constexpr std::size_t kBlockSize = 2048;
// One CD sector as a dump holds it: sync, header, data and error-correction bytes, or audio.
inline constexpr std::size_t kRawSectorBytes = 2352;

// What became of one block of a read.
enum class BlockStatus : std::uint8_t {
  Good,         // the block's bytes as the disc holds them
  Unreadable,   // the container or drive could not deliver it (I/O error, short file, bad hunk)
  FailedCheck,  // delivered, but its own check (sector EDC, sync, header, hunk CRC) failed
  PastEnd,      // beyond the last block of the device
};

const char* ToText(BlockStatus status);

// One track of the disc, as the container describes it (a plain image is one data track).
struct TrackInfo {
  int number = 1;
  std::string mode;               // "MODE1/2048", "MODE1/2352", "MODE2/2352", "AUDIO", ...
  std::uint32_t sectorSize = 0;   // bytes per sector as stored
  std::uint64_t firstSector = 0;  // on the disc, counting every track's sectors
  std::uint64_t sectorCount = 0;
  std::string file;  // the file holding it, where there is one
  // Sectors before firstSector that the container holds with the track (the part of its file
  // before INDEX 01, a CHD's stored pregap): a dump's track file starts with them.
  std::uint64_t pregapSectors = 0;
};

// The span of a host file that holds a run of blocks exactly as 2048-byte blocks, for copying
// without passing the bytes through this process.
struct FileRange {
  std::intptr_t handle = -1;  // the open file (POSIX descriptor or Win32 HANDLE)
  std::uint64_t offset = 0;   // byte offset of the first block in that file
  std::uint64_t length = 0;   // bytes available there (less than asked where the file ends)
};

// A disc's blocks. The public reads are this base's: it checks the request, marks blocks at or
// past blockCount() PastEnd, keeps one status per block and zero-fills every block that is not
// Good; a container only delivers runs of blocks it really holds, through the protected hooks.
class BlockDevice {
 public:
  virtual ~BlockDevice() = default;

  // Blocks of the data track (the Opera volume's track): reads at or past it are PastEnd.
  virtual std::uint64_t blockCount() const = 0;

  // Reads status.size() blocks starting at first into out (status.size() x 2048 bytes), one
  // status per block. A block that is not Good is zero-filled; when out is too small every block
  // is PastEnd. Safe to call from several threads at once: a device serialises internally what
  // must be serialised.
  void read(std::uint64_t first, std::span<std::uint8_t> out, std::span<BlockStatus> status);

  // One line for people: "2048-byte image", "raw 2352-byte sectors, Mode 1", "CHD v5 (cdlz)".
  virtual std::string describe() const = 0;
  // The disc's tracks as the container describes them.
  virtual std::vector<TrackInfo> tracks() const = 0;

  // The raw 2352-byte sectors of track (an index into tracks()) as a dump's track file holds
  // them: sector 0 is the first of its pregapSectors, and the track has pregapSectors +
  // sectorCount of them. Stored raw sectors come as stored (subcode left out), audio as
  // little-endian samples; sectors stored as 2048 user bytes are rebuilt as Mode 1 with their
  // address. One status per sector (out holds status.size() x 2352 bytes); a sector that is not
  // Good is zeroed, one past the track (or of no such track) is PastEnd.
  void readRaw(std::size_t track, std::uint64_t first, std::span<std::uint8_t> out,
               std::span<BlockStatus> status);

  // True when reads are served one at a time (a drive): several readers at once gain nothing
  // and cost the drive its sequential reading.
  virtual bool serial() const { return false; }

  // Where blocks [first, first + count) lie as plain 2048-byte blocks in one host file, for a
  // kernel copy; nothing when they do not (raw sectors, compressed hunks, a drive).
  virtual std::optional<FileRange> fileRange(std::uint64_t first, std::uint64_t count) const {
    (void)first;
    (void)count;
    return std::nullopt;
  }

  // True when the file this device was opened from is itself the blocks: 2048 bytes each from
  // its first byte, no header, no sheet, no other file. Whoever holds that file's name may then
  // read block n at byte n x 2048 without this device, and the file has no tracks to tell of.
  virtual bool isPlainBlockFile() const { return false; }

 protected:
  // Delivers blocks [first, first + status.size()), all below blockCount(), into out (exactly
  // status.size() x 2048 bytes). Each status comes in as Unreadable: the hook sets those it
  // delivers (Good, or FailedCheck when their own check fails); the base zero-fills the rest.
  virtual void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                          std::span<BlockStatus> status) = 0;

  // The same for raw sectors [first, first + status.size()) of track, all inside it (out holds
  // status.size() x 2352 bytes). This default serves a device whose one track is its 2048-byte
  // blocks, rebuilding each as a Mode 1 sector; a sector of any other track stays Unreadable.
  virtual void readRawSectors(std::size_t track, std::uint64_t first, std::span<std::uint8_t> out,
                              std::span<BlockStatus> status);
};

// Why a container could not be opened: a sentence for people, naming the file and, for a CUE
// sheet, the line ("disc.cue line 4: unknown track mode MODE3/2352").
struct MediaError {
  std::string message;
};

}  // namespace brindle::media
