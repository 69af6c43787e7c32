#include "opera/RomTags.h"

#include <algorithm>
#include <vector>

namespace brindle::opera {
namespace {

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

RomTags ParseRomTags(std::span<const std::uint8_t> block) {
  RomTags result;
  for (std::size_t at = 0; at + kRomTagBytes <= block.size(); at += kRomTagBytes) {
    const std::uint8_t* r = block.data() + at;
    if (r[0] == 0 && r[1] == 0) {
      result.ended = true;
      break;
    }
    RomTag tag;
    tag.subsystemType = r[0];
    tag.type = r[1];
    tag.version = r[2];
    tag.revision = r[3];
    tag.flags = r[4];
    tag.typeSpecific = r[5];
    tag.offset = BigEndian32(r + 8);
    tag.size = BigEndian32(r + 12);
    tag.reservedClear =
        r[6] == 0 && r[7] == 0 &&
        std::all_of(r + 16, r + kRomTagBytes, [](std::uint8_t b) { return b == 0; });
    result.tags.push_back(tag);
  }
  return result;
}

RomTags ReadRomTags(media::BlockDevice& device) {
  std::vector<std::uint8_t> block(media::kBlockSize);
  media::BlockStatus status = media::BlockStatus::Good;
  device.read(kRomTagsBlock, block, std::span(&status, 1));
  if (status != media::BlockStatus::Good) {
    RomTags failed;
    failed.status = status;
    return failed;
  }
  return ParseRomTags(block);
}

}  // namespace brindle::opera
