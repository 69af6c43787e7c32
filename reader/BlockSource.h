// Where one action's blocks come from: the open image, or the selected drive.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "media/BlockDevice.h"
#include "media/ImageFile.h"
#include "output/OutputFile.h"
#include "reader/ReaderWindow.h"

namespace brindle::reader {

// The block size for the window's arithmetic on entry sizes and block numbers, which is signed:
// a size read back from an entry line may be negative and must divide as one.
inline constexpr std::int64_t kSignedBlockSize = static_cast<std::int64_t>(media::kBlockSize);

class BlockSource {
 public:
  // Reads from an image the caller has opened (and keeps open while this is used).
  static BlockSource Image(const media::ImageFile& image) { return BlockSource(&image, nullptr); }
  // Reads through the drive sector reader, one sector per read.
  static BlockSource Drive(const DriveReader& readDrive) {
    return BlockSource(nullptr, &readDrive);
  }

  bool isImage() const { return image_ != nullptr; }

  // Block n. Image: its 2048 bytes, or nothing when it lies past the image's end or at a byte
  // offset beyond 32 bits. Drive: what the reader returned (empty after it told the user), or
  // nothing when n is not a drive address.
  std::optional<sector::SectorData> block(std::int64_t n) const;

  // A 32-bit field of the volume header (block 0). Image: the four bytes at offset, nothing
  // when the image is too short. Drive: block 0 is read again; a failed read gives 0.
  std::optional<std::int32_t> headerField(std::size_t offset) const;
  // Several header fields from one read of block 0 (on a drive, one read).
  std::optional<std::vector<std::int32_t>> headerFields(
      std::initializer_list<std::size_t> offsets) const;

 private:
  BlockSource(const media::ImageFile* image, const DriveReader* drive)
      : image_(image), drive_(drive) {}
  const media::ImageFile* image_;
  const DriveReader* drive_;
};

}  // namespace brindle::reader
