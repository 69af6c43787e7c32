#include "reader/EntryLine.h"

#include <algorithm>

#include "opera/DirectoryBlock.h"
#include "opera/Format.h"

namespace brindle::reader {
namespace {

constexpr std::size_t kNameColumns = 34;
constexpr std::size_t kNameReadBack = 32;
constexpr std::size_t kTypeColumn = 34;  // 0-based
constexpr std::size_t kSizeColumn = 40;
constexpr std::size_t kSizeWidth = 9;
constexpr std::size_t kFirstBlockReadBack = 6;

// The rightmost width characters of text.
std::string Right(const std::string& text, std::size_t width) {
  return text.size() <= width ? text : text.substr(text.size() - width);
}

// A decimal number after leading spaces, as far as digits go; 0 when there is none or it does
// not fit in 32 bits.
std::int32_t LeadingNumber(const std::string& text) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return 0;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) return 0;
  }
  return static_cast<std::int32_t>(value);
}

// A stored number as the window reads it: one that does not fit in 31 bits reads as 0.
std::int32_t WindowNumber(std::uint32_t stored) {
  return stored >= 0x80000000u ? 0 : static_cast<std::int32_t>(stored);
}

}  // namespace

std::string EntryLineOf(const opera::Entry& entry) {
  std::string line = entry.name;
  line.resize(kNameColumns, ' ');
  const bool typeHasZero =
      std::find(entry.type.begin(), entry.type.end(), std::uint8_t{0}) != entry.type.end();
  if (typeHasZero) {
    line += "      ";
  } else {
    line.append(entry.type.begin(), entry.type.end());
    line += "  ";
  }
  line += Right("        " + std::to_string(WindowNumber(entry.byteCount)) + " bytes", 15);
  line += Right("         " + std::to_string(WindowNumber(entry.firstBlock())), 10);
  return line;
}

std::optional<std::string> BuildEntryLine(std::span<const std::uint8_t> entry) {
  const auto parsed = opera::ParseEntry(entry, 0);
  if (!parsed) return std::nullopt;
  return EntryLineOf(*parsed);
}

std::string EntryName(const std::string& line) {
  const std::string head = line.substr(0, kNameReadBack);
  const std::size_t first = head.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return head.substr(first, head.find_last_not_of(' ') - first + 1);
}

std::string EntryType(const std::string& line) {
  return line.size() > kTypeColumn ? line.substr(kTypeColumn, opera::kTypeLength) : "";
}

std::int32_t EntrySize(const std::string& line) {
  return line.size() > kSizeColumn ? LeadingNumber(line.substr(kSizeColumn, kSizeWidth)) : 0;
}

std::int32_t EntryFirstBlock(const std::string& line) {
  return LeadingNumber(Right(line, kFirstBlockReadBack));
}

bool IsDirectoryLine(const std::string& line) {
  return line == kRootLine || line == kParentLine || EntryType(line) == kDirectoryType;
}

std::string FormatHistoryEntry(std::int32_t blockCount, std::int32_t startBlock) {
  return std::to_string(blockCount) + ";" + std::to_string(startBlock);
}

std::pair<std::int32_t, std::int32_t> ParseHistoryEntry(const std::string& entry) {
  const std::size_t semicolon = entry.find(';');
  if (semicolon == std::string::npos) return {LeadingNumber(entry), 0};
  return {LeadingNumber(entry.substr(0, semicolon)), LeadingNumber(entry.substr(semicolon + 1))};
}

}  // namespace brindle::reader
