// The plain image: 2048-byte blocks one after another from byte 0, with no header of its own.
#pragma once

#include <memory>
#include <string>

#include "media/BlockDevice.h"
#include "media/ImageFile.h"

namespace brindle::media {

class PlainImage final : public BlockDevice {
 public:
  // The image in file, opened from path. A length that is not a whole number of blocks is
  // allowed: the last, partial block reads as Unreadable.
  PlainImage(ImageFile file, std::string path);

  std::uint64_t blockCount() const override { return blocks_; }
  std::string describe() const override;
  std::vector<TrackInfo> tracks() const override;
  std::optional<FileRange> fileRange(std::uint64_t first, std::uint64_t count) const override;
  bool isPlainBlockFile() const override { return true; }

 protected:
  // One file read for the whole run.
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<BlockStatus> status) override;

 private:
  ImageFile file_;
  std::string path_;
  std::uint64_t bytes_ = 0;
  std::uint64_t blocks_ = 0;  // whole blocks, plus one for a partial tail
};

}  // namespace brindle::media
