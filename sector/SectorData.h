// The bytes of a run of 2048-byte sectors as the drive delivered them: one page-aligned block
// that a drive writes into directly and that is handed on without a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace brindle::sector {

inline constexpr std::size_t kBufferAlignment = 4096;  // direct transfers: one page

// The sectors read; empty after a failed read.
class SectorData {
 public:
  SectorData() = default;
  // size zero-initialised bytes at a page boundary.
  explicit SectorData(std::size_t size);

  std::uint8_t* data() { return bytes_.get(); }
  const std::uint8_t* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::span<const std::uint8_t> bytes() const { return {bytes_.get(), size_}; }
  std::uint8_t operator[](std::size_t index) const { return bytes_[index]; }

  // A copy of bytes, for sources that do not read into a buffer of their own.
  static SectorData CopyOf(std::span<const std::uint8_t> bytes);

 private:
  struct AlignedDelete {
    void operator()(std::uint8_t* bytes) const;
  };
  std::unique_ptr<std::uint8_t[], AlignedDelete> bytes_;
  std::size_t size_ = 0;
};

}  // namespace brindle::sector
