#include "sector/SectorData.h"

#include <algorithm>
#include <new>

namespace brindle::sector {

SectorData::SectorData(std::size_t size)
    : bytes_(static_cast<std::uint8_t*>(::operator new (size, std::align_val_t{kBufferAlignment}))),
      size_(size) {
  std::fill_n(bytes_.get(), size_, std::uint8_t{0});
}

void SectorData::AlignedDelete::operator()(std::uint8_t* bytes) const {
  ::operator delete (bytes, std::align_val_t{kBufferAlignment});
}

SectorData SectorData::CopyOf(std::span<const std::uint8_t> bytes) {
  SectorData copy(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.data());
  return copy;
}

}  // namespace brindle::sector
