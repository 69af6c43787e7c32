// Reading an entry's bytes, each block from the first copy that reads good: the console's own
// way of surviving a scratched sector. What came from where is reported, not shown.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "media/BlockDevice.h"
#include "opera/Entry.h"

namespace brindle::opera {

struct ReadReport {
  struct Damaged {
    std::uint32_t index;        // block of the entry, from 0
    std::uint32_t block;        // disc block of the first copy
    media::BlockStatus status;  // what the first copy gave
  };
  std::vector<RecoveredBlock> recovered;
  std::vector<Damaged> damaged;  // no copy read good: zeros were written in their place
  bool complete() const { return damaged.empty(); }
};

class EntryReader {
 public:
  explicit EntryReader(media::BlockDevice& device) : device_(device) {}

  // Copies out.size() bytes of the entry's data from byte offset (cut at the entry's byte count)
  // into out; returns how many bytes that was, and reports into report. Reads many blocks per
  // call from the first copy and goes to the other copies only for the blocks that failed.
  std::size_t read(const Entry& entry, std::uint64_t offset, std::span<std::uint8_t> out,
                   ReadReport& report);

 private:
  media::BlockDevice& device_;
  std::vector<std::uint8_t> buffer_;
  std::vector<media::BlockStatus> status_;
};

}  // namespace brindle::opera
