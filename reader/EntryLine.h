// The entry line: the 65-character fixed-column text that stands for one directory entry in
// lstFiles, and the only record of the entry. Columns (1-based): 1-34 name, 35-40 type and two
// spaces, 41-49 size, 50-55 " bytes", 56-65 first block. Bytes are Latin-1 characters.
//
// The history entry: "blockCount;startBlock" in decimal, one per listed directory.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "opera/Entry.h"

namespace brindle::reader {

// The two navigation lines that head every listing below the root.
inline constexpr const char* kRootLine = "/";
inline constexpr const char* kParentLine = "..";
// The type that marks a directory, in columns 35-38.
inline constexpr const char* kDirectoryType = "*dir";

// The entry line of a parsed entry.
std::string EntryLineOf(const opera::Entry& entry);

// The entry line of one directory entry (the bytes from the entry's start; fewer than a whole
// entry when the block ends first: missing numbers read as 0). Nothing when the name field holds
// no zero byte within the bytes given.
std::optional<std::string> BuildEntryLine(std::span<const std::uint8_t> entry);

// The entry's name as the reader takes it back: the first 32 characters, leading and trailing
// spaces removed. Also what Ctrl+C puts on the clipboard.
std::string EntryName(const std::string& line);
// Characters 35-38 (fewer when the line is shorter).
std::string EntryType(const std::string& line);
// The number in characters 41-49, leading spaces ignored; 0 when there is none.
std::int32_t EntrySize(const std::string& line);
// The number in the last six characters, leading spaces ignored; 0 when there is none. First
// blocks above 999,999 lose their leading digits.
std::int32_t EntryFirstBlock(const std::string& line);
// True for a line the double click enters: "/", "..", or "*dir" in characters 35-38.
bool IsDirectoryLine(const std::string& line);

std::string FormatHistoryEntry(std::int32_t blockCount, std::int32_t startBlock);
// Block count (before the semicolon) and start block (after it); a part that holds no number,
// or one too large for 32 bits, reads as 0.
std::pair<std::int32_t, std::int32_t> ParseHistoryEntry(const std::string& entry);

}  // namespace brindle::reader
