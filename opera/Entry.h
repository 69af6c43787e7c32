// Typed Opera structures: one directory entry as stored, the volume label, and what can be wrong
// with them. Raw fields only: no window rules (the window's reading of a field at 0x80000000 or
// above as 0 stays with the window's reader).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace brindle::opera {

// What makes a directory block, an entry or the label untrustworthy.
enum class OperaFault : std::uint8_t {
  NoSync,              // block 0 lacks "ZZZZZ": not an Opera volume
  UsedEndTooLarge,     // a directory block's used-area end beyond 32,767
  EntryPastLimit,      // the next entry position beyond 32,767
  NameUnterminated,    // a name field with no zero byte within the block
  BlockCountTooLarge,  // a directory of more than 32,767 blocks
};

const char* ToText(OperaFault fault);

struct Entry {
  std::uint32_t flags = 0;  // bits 31/30: last entry of its block / of its directory
  std::uint32_t id = 0;
  std::array<std::uint8_t, 4> type{};  // as stored; zeros where the block ended first
  std::uint32_t blockSize = 0;
  std::uint32_t byteCount = 0;
  std::uint32_t blockCount = 0;
  std::uint32_t burst = 0;
  std::uint32_t gap = 0;
  std::string name;                   // bytes up to the first zero (Latin-1 text)
  std::uint32_t lastCopyIndex = 0;    // as stored
  std::vector<std::uint32_t> copies;  // first block of every copy that fits in its block
  std::uint16_t offset = 0;           // where the entry starts in its directory block
  bool cutOff = false;                // the block ends inside the entry's 72 bytes

  bool isDirectory() const;      // type "*dir"
  std::string typeText() const;  // the four type bytes, zeros as nothing
  std::uint32_t firstBlock() const { return copies.empty() ? 0 : copies.front(); }
};

// A block of an entry's data or of a directory that was taken from another copy than the first,
// because the first copy's block did not read good (or, for a directory, did not parse cleanly).
// The one form for the entry reader, the directory reader and the walk.
struct RecoveredBlock {
  std::uint32_t index = 0;  // block of the entry or directory, from 0
  std::uint32_t block = 0;  // disc block of the first copy, the one that failed
  std::uint32_t copy = 0;   // copy it came from, from 0 (never 0 here)
};

// Block 0.
struct VolumeLabel {
  std::uint8_t recordType = 0;
  std::uint8_t version = 0;
  std::uint8_t flags = 0;
  std::string comment;  // bytes up to the first zero
  std::string label;
  std::uint32_t id = 0;
  std::uint32_t blockSize = 0;
  std::uint32_t blockCount = 0;
  std::uint32_t rootId = 0;
  std::uint32_t rootBlockCount = 0;
  std::uint32_t rootBlockSize = 0;
  std::uint32_t rootLastCopyIndex = 0;
  std::vector<std::uint32_t> rootCopies;  // at most eight
};

}  // namespace brindle::opera
