// Builds Opera volumes for tests, benchmarks and the demo image: a volume header, directories
// laid out over as many blocks as they need, files with their data, and on request every kind of
// malformed field the reader must survive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace brindle::testing {

inline constexpr std::size_t kOperaBlockSize = 2048;

// One directory entry as it will be stored. Names and types are byte strings (Latin-1).
struct OperaEntry {
  enum class Kind { File, Directory };

  // A file holding exactly these bytes.
  static OperaEntry File(std::string name, std::vector<std::uint8_t> bytes);
  // A file of size bytes filled with a pattern that depends on the name and the offset.
  static OperaEntry File(std::string name, std::size_t size);
  // A directory (type "*dir") holding these entries.
  static OperaEntry Dir(std::string name, std::vector<OperaEntry> children);
  // An entry whose presence byte (byte 3) is 0: stored and stepped over, never listed.
  static OperaEntry Absent(std::string name, std::size_t size = 0);

  // Stored type: four bytes, zeros allowed (default "    " for files, "*dir" for directories).
  OperaEntry& withType(std::string fourBytes);
  // Stores count copies of the data (last copy index count - 1); the entry grows by 4 bytes per
  // extra copy, and each copy is really written.
  OperaEntry& withCopies(int count);
  // Overrides the stored size field (the data written stays as built).
  OperaEntry& withSizeField(std::uint32_t size);
  // Overrides the stored first-block field.
  OperaEntry& withFirstBlockField(std::uint32_t block);
  // Overrides the stored last-copy-index field without growing the entry (for malformed
  // strides).
  OperaEntry& withLastCopyIndexField(std::uint32_t index);
  // Stores the name field as exactly these 32 bytes (use it for a field with no zero byte).
  OperaEntry& withRawNameField(std::string thirtyTwoBytes);
  // Directories: at most n entries per block (forces multi-block directories).
  OperaEntry& withEntriesPerBlock(int n);
  // Directories: overrides the used-area end field of block blockIndex.
  OperaEntry& withUsedEnd(int blockIndex, std::uint32_t usedEnd);
  // Directories: the blocks stored verbatim instead of the laid-out entries (children ignored).
  OperaEntry& withRawBlocks(std::vector<std::vector<std::uint8_t>> blocks);

  Kind kind = Kind::File;
  std::string name;
  std::string type;
  bool present = true;
  std::vector<std::uint8_t> data;
  std::vector<OperaEntry> children;
  int copies = 1;
  std::optional<std::uint32_t> sizeField;
  std::optional<std::uint32_t> firstBlockField;
  std::optional<std::uint32_t> lastCopyIndexField;
  std::optional<std::string> rawNameField;
  int entriesPerBlock = 0;  // 0: as many as fit
  std::map<int, std::uint32_t> usedEnds;
  std::optional<std::vector<std::vector<std::uint8_t>>> rawBlocks;
};

// Where an entry's first copy ended up.
struct OperaPlacement {
  std::uint32_t firstBlock = 0;
  std::uint32_t byteCount = 0;  // directories: blocks x 2048
  std::uint32_t blockCount = 0;
};

struct OperaImage {
  std::vector<std::uint8_t> bytes;
  // Key: the path from the root, components joined by '/' ("" is the root itself; an entry with
  // an empty name is keyed by its parent's path and a '/').
  std::map<std::string, OperaPlacement> placements;
  // The bytes of a file entry (or of a directory's blocks) by path.
  std::map<std::string, std::vector<std::uint8_t>> contents;
  // Paths of the directories, the root ("") included.
  std::set<std::string> directories;

  // Writes the image to path; false when it cannot be written.
  bool writeTo(const std::string& path) const;
};

class OperaImageBuilder {
 public:
  OperaImageBuilder& root(std::vector<OperaEntry> entries);
  // The root directory itself: blocks per directory and used-end overrides, raw blocks.
  OperaImageBuilder& rootDirectory(OperaEntry directory);
  // Volume header overrides.
  OperaImageBuilder& syncBytes(std::string fiveBytes);
  OperaImageBuilder& volumeBlocksField(std::uint32_t blocks);
  OperaImageBuilder& rootBlockCountField(std::uint32_t blocks);
  OperaImageBuilder& rootFirstBlockField(std::uint32_t block);
  // Starts every file's data at a multiple of this many blocks (2: on 4 KiB pages).
  OperaImageBuilder& fileAlignment(std::uint32_t blocks);
  // Cuts the finished image to this many bytes (or pads it with zeros up to it).
  OperaImageBuilder& resizeTo(std::size_t bytes);

  OperaImage build() const;

 private:
  OperaEntry root_ = OperaEntry::Dir("", {});
  std::string sync_ = "ZZZZZ";
  std::optional<std::uint32_t> volumeBlocks_;
  std::optional<std::uint32_t> rootBlocks_;
  std::optional<std::uint32_t> rootFirst_;
  std::optional<std::size_t> resize_;
  std::uint32_t fileAlignment_ = 1;
};

// One directory entry's bytes: 72 + 4 x lastCopyIndex bytes, copy blocks after the first equal
// to firstBlock + i. For hand-made directory blocks.
std::vector<std::uint8_t> OperaEntryBytes(const std::string& name, const std::string& type,
                                          std::uint32_t size, std::uint32_t firstBlock,
                                          std::uint32_t lastCopyIndex = 0, bool present = true);
// A 2048-byte directory block: header with the given used-area end, then the given entry bytes
// from offset 20 (cut at the block's end).
std::vector<std::uint8_t> OperaDirectoryBlock(const std::vector<std::vector<std::uint8_t>>& entries,
                                              std::optional<std::uint32_t> usedEnd = {});
// The same image as raw 2352-byte sectors (sync, header, data, zeroed error-correction bytes).
std::vector<std::uint8_t> ToRawSectors(const std::vector<std::uint8_t>& image);
// A root holding directory "Two" of 90 empty blocks in two copies, whose first copy's blocks
// 1-2, 5-6, ... 85-86 are scratched (a used-area end past the block): 22 runs to read from copy 2.
OperaImage TwoCopyDirectoryWithScratchedRuns();
// The pattern OperaEntry::File(name, size) fills a file with.
std::vector<std::uint8_t> PatternBytes(const std::string& seed, std::size_t size);

}  // namespace brindle::testing
