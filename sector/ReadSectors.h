// Reading runs of 2048-byte sectors from the drive selected in the drive list: two attempts
// 500 ms apart, then the drive-not-ready message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Os.h"
#include "transport/ISCSI.h"

namespace brindle::sector {

inline constexpr std::int16_t kMaxSectorsPerRead = 15;  // count x 2048 stays within 16 bits
inline constexpr std::uint32_t kRetryPauseMs = 500;
inline constexpr std::size_t kBufferAlignment = 4096;  // direct transfers: one page

inline constexpr const char* kNoDriveSelectedMessage =
    "No drive is selected. Choose a drive from the list first.";

// "Could not read sector <lba>. Drive not ready."
std::string DriveNotReadyMessage(std::int32_t lba);
// The refusal of a count outside 1 to 15.
std::string SectorCountMessage(std::int32_t lba, std::int16_t count);

// The sectors read: one page-aligned block that the drive writes into directly, owned here and
// handed out without a copy. Empty after a failed read.
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

  // The bytes as the reader's vector: one allocation and one copy.
  std::vector<std::uint8_t> toVector() const { return {bytes_.get(), bytes_.get() + size_}; }
  operator std::vector<std::uint8_t>() const { return toVector(); }

 private:
  struct AlignedDelete {
    void operator()(std::uint8_t* bytes) const;
  };
  std::unique_ptr<std::uint8_t[], AlignedDelete> bytes_;
  std::size_t size_ = 0;
};

// Where ReadSectors finds its drive and its user, asked again at every call.
struct DriveAccess {
  // The current transport; nullptr while none has been chosen.
  std::function<transport::ISCSI*()> transport;
  // The drive list's selected entry, 0-based; -1 when nothing is selected.
  std::function<int()> selectedIndex;
  // Sleeps between the two attempts. Must not be null.
  platform::Os* os = nullptr;
  // Shows a message in the "Error" box and returns when the user has closed it.
  std::function<void(const std::string&)> showError;
};

// count sectors at lba from the selected drive: count x 2048 bytes in disc order, or an empty
// result after one message (drive not ready; no drive selected; count outside 1 to 15). Sends
// nothing when no transport, no selection or a selection outside the transport's drives.
SectorData ReadSectors(const DriveAccess& access, std::int32_t lba, std::int16_t count);

}  // namespace brindle::sector
