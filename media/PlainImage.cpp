#include "media/PlainImage.h"

#include <algorithm>

namespace brindle::media {

PlainImage::PlainImage(ImageFile file, std::string path)
    : file_(std::move(file)), path_(std::move(path)) {
  bytes_ = file_.size().value_or(0);
  blocks_ = (bytes_ + kBlockSize - 1) / kBlockSize;
}

void PlainImage::readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                            std::span<BlockStatus> status) {
  // A short or failed read is told apart block by block: only whole blocks are Good.
  const auto got = file_.readSome(first * kBlockSize, out);
  const std::size_t whole = got ? std::min(*got / kBlockSize, status.size()) : 0;
  std::fill_n(status.begin(), whole, BlockStatus::Good);
}

std::string PlainImage::describe() const {
  return "2048-byte image";
}

std::vector<TrackInfo> PlainImage::tracks() const {
  TrackInfo track;
  track.mode = "MODE1/2048";
  track.sectorSize = kBlockSize;
  track.sectorCount = blocks_;
  track.file = path_;
  return {track};
}

std::optional<FileRange> PlainImage::fileRange(std::uint64_t first, std::uint64_t count) const {
  if (first >= blocks_) return std::nullopt;
  const std::uint64_t offset = first * kBlockSize;
  return FileRange{file_.nativeHandle(), offset, std::min(count * kBlockSize, bytes_ - offset)};
}

}  // namespace brindle::media
