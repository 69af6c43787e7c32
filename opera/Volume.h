// An Opera volume on a block device: its label, its directories read with a fall back to another
// copy of each block, and the tree below any directory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "media/BlockDevice.h"
#include "opera/Entry.h"

namespace brindle::opera {

// Where a directory's blocks are: its block count and the first block of each copy.
struct DirectoryRef {
  std::uint32_t blockCount = 0;
  std::vector<std::uint32_t> copies;
};

// A block that could not be used as read, by its place on the disc.
struct BlockProblem {
  std::uint32_t block = 0;                               // disc block (of the first copy)
  media::BlockStatus status = media::BlockStatus::Good;  // of the last copy tried
  std::optional<OperaFault> fault;  // the block read but its contents are malformed
};

struct Directory {
  std::vector<Entry> entries;  // present entries in disc order, block by block
  std::vector<BlockProblem> problems;
  std::vector<RecoveredBlock> recovered;  // blocks read from another copy than the first
};

class Volume {
 public:
  // Reads block 0; nothing when it cannot be read (status says how) or is not an Opera label.
  static std::optional<Volume> Open(media::BlockDevice& device, media::BlockStatus& status);

  const VolumeLabel& label() const { return label_; }
  media::BlockDevice& device() const { return *device_; }
  DirectoryRef root() const;
  static DirectoryRef DirectoryOf(const Entry& entry);

  // Every block of the directory, each from the first copy that reads good and parses without a
  // fault (the first copy's entries are kept when no copy is better). A directory of more than
  // 32,767 blocks is refused with a problem and no entries.
  Directory readDirectory(const DirectoryRef& directory) const;

 private:
  Volume(media::BlockDevice& device, VolumeLabel label)
      : device_(&device), label_(std::move(label)) {}
  media::BlockDevice* device_;
  VolumeLabel label_;
};

// The disc size text the window shows: whole megabytes (2^20 bytes) of blocks x 2048 bytes,
// then " MB" ("585 MB" for 300,000 blocks), computed in 64 bits so any block count gives its
// true size. The one definition, for the window, the command line and the mount.
std::string DiscSizeText(std::uint64_t blocks);

}  // namespace brindle::opera
