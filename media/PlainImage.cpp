#include "media/PlainImage.h"

#include <algorithm>
#include <cstring>

namespace brindle::media {

std::unique_ptr<PlainImage> PlainImage::Open(const std::string& path, MediaError& error) {
  auto file = ImageFile::Open(path);
  if (!file) {
    error.message = "\"" + path + "\" could not be opened for reading.";
    return nullptr;
  }
  if (!file->size()) {
    error.message = "The size of \"" + path + "\" could not be found.";
    return nullptr;
  }
  return std::make_unique<PlainImage>(std::move(*file), path);
}

PlainImage::PlainImage(ImageFile file, std::string path)
    : file_(std::move(file)), path_(std::move(path)) {
  bytes_ = file_.size().value_or(0);
  blocks_ = (bytes_ + kBlockSize - 1) / kBlockSize;
}

void PlainImage::read(std::uint64_t first, std::span<std::uint8_t> out,
                      std::span<BlockStatus> status) {
  const std::uint64_t count = status.size();
  std::fill(status.begin(), status.end(), BlockStatus::PastEnd);
  std::memset(out.data(), 0, std::min<std::size_t>(out.size(), count * kBlockSize));
  if (out.size() < count * kBlockSize || first >= blocks_) return;
  const std::uint64_t inside = std::min(count, blocks_ - first);
  // One read for the whole run; a short or failed read is then told apart block by block.
  const auto got =
      file_.readSome(first * kBlockSize, out.first(static_cast<std::size_t>(inside * kBlockSize)));
  for (std::uint64_t i = 0; i < inside; ++i) {
    const bool whole = got && *got >= (i + 1) * kBlockSize;
    status[i] = whole ? BlockStatus::Good : BlockStatus::Unreadable;
    if (!whole) std::memset(out.data() + i * kBlockSize, 0, kBlockSize);
  }
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
