#include "opera/EntryReader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace brindle::opera {
namespace {

// Blocks asked of the device in one read (128 KiB).
constexpr std::uint64_t kRunBlocks = 64;

}  // namespace

std::size_t EntryReader::read(const Entry& entry, std::uint64_t offset, std::span<std::uint8_t> out,
                              ReadReport& report) {
  if (entry.copies.empty() || offset >= entry.byteCount) return 0;
  const std::uint64_t length = std::min<std::uint64_t>(out.size(), entry.byteCount - offset);
  const std::uint64_t firstIndex = offset / media::kBlockSize;
  const std::uint64_t lastIndex = (offset + length - 1) / media::kBlockSize;

  std::uint64_t done = 0;
  for (std::uint64_t index = firstIndex; index <= lastIndex;) {
    const std::uint64_t run = std::min(kRunBlocks, lastIndex - index + 1);
    buffer_.resize(run * media::kBlockSize);
    status_.resize(run);
    device_.read(std::uint64_t{entry.copies[0]} + index, buffer_, status_);

    std::array<std::uint8_t, media::kBlockSize> alternative{};
    std::array<media::BlockStatus, 1> altStatus{};
    for (std::uint64_t i = 0; i < run; ++i) {
      if (status_[i] == media::BlockStatus::Good) continue;
      bool found = false;
      for (std::uint32_t c = 1; c < entry.copies.size() && !found; ++c) {
        device_.read(std::uint64_t{entry.copies[c]} + index + i, alternative, altStatus);
        if (altStatus[0] != media::BlockStatus::Good) continue;
        std::memcpy(buffer_.data() + i * media::kBlockSize, alternative.data(), media::kBlockSize);
        report.recovered.push_back({static_cast<std::uint32_t>(index + i),
                                    static_cast<std::uint32_t>(entry.copies[0] + index + i), c});
        found = true;
      }
      if (!found)
        report.damaged.push_back({static_cast<std::uint32_t>(index + i),
                                  static_cast<std::uint32_t>(entry.copies[0] + index + i),
                                  status_[i]});
    }

    // The part of this run that out wants.
    const std::uint64_t runStart = index * media::kBlockSize;
    const std::uint64_t from = std::max(runStart, offset);
    const std::uint64_t to = std::min(runStart + run * media::kBlockSize, offset + length);
    std::memcpy(out.data() + (from - offset), buffer_.data() + (from - runStart), to - from);
    done += to - from;
    index += run;
  }
  return static_cast<std::size_t>(done);
}

}  // namespace brindle::opera
