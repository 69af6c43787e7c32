#include "reader/BlockSource.h"

#include "opera/BigEndian.h"
#include "opera/Format.h"

namespace brindle::reader {

std::optional<sector::SectorData> BlockSource::block(std::int64_t n) const {
  if (image_) {
    if (n < 0 || n >= opera::kImageBlockLimit) return std::nullopt;
    sector::SectorData bytes(media::kBlockSize);
    if (!image_->readExact(static_cast<std::uint64_t>(n * kSignedBlockSize),
                           std::span(bytes.data(), bytes.size())))
      return std::nullopt;
    return bytes;
  }
  if (n < 0 || n > INT32_MAX) return std::nullopt;
  return (*drive_)(static_cast<std::int32_t>(n), 1);
}

std::optional<std::vector<std::int32_t>> BlockSource::headerFields(
    std::initializer_list<std::size_t> offsets) const {
  std::vector<std::int32_t> values;
  if (image_) {
    for (std::size_t offset : offsets) {
      std::uint8_t bytes[4];
      if (!image_->readExact(offset, bytes)) return std::nullopt;
      values.push_back(opera::ReadBigEndian32(bytes));
    }
    return values;
  }
  const sector::SectorData block0 = (*drive_)(0, 1);
  for (std::size_t offset : offsets)
    values.push_back(opera::ReadBigEndian32At(block0.bytes(), offset));
  return values;
}

std::optional<std::int32_t> BlockSource::headerField(std::size_t offset) const {
  const auto values = headerFields({offset});
  if (!values) return std::nullopt;
  return values->front();
}

}  // namespace brindle::reader
