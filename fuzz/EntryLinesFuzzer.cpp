// Entry lines and history entries read back. The input is first taken as one directory entry:
// its line, read back by column, must give the name, size and first block it was built from
// (as far as the columns carry them). Then the whole input is taken as a line and as a history
// entry, as a damaged list might hand them back.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "opera/BigEndian.h"
#include "opera/Format.h"
#include "reader/EntryLine.h"

namespace {

using namespace brindle;

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void CheckRoundTrip(std::span<const std::uint8_t> entry) {
  const auto line = reader::BuildEntryLine(entry);
  if (!line) return;
  if (line->size() != 65) std::abort();

  const auto nameStart = entry.begin() + static_cast<std::ptrdiff_t>(opera::kNameOffset);
  const auto nameEnd = std::find(nameStart, entry.end(), std::uint8_t{0});
  if (reader::EntryName(*line) != Trimmed(std::string(nameStart, nameEnd))) std::abort();

  const std::int64_t size = opera::ReadBigEndian32At(entry, opera::kSizeOffset);
  if (reader::EntrySize(*line) != size % 1000000000) std::abort();
  const std::int64_t firstBlock = opera::ReadBigEndian32At(entry, opera::kFirstBlockOffset);
  if (reader::EntryFirstBlock(*line) != firstBlock % 1000000) std::abort();

  const bool isDir =
      entry.size() >= opera::kTypeOffset + opera::kTypeLength &&
      std::equal(entry.begin() + opera::kTypeOffset,
                 entry.begin() + opera::kTypeOffset + opera::kTypeLength, reader::kDirectoryType);
  if (reader::IsDirectoryLine(*line) != isDir) std::abort();
}

void CheckReadBack(const std::string& text) {
  if (reader::EntrySize(text) < 0 || reader::EntryFirstBlock(text) < 0) std::abort();
  if (reader::EntryType(text).size() > opera::kTypeLength) std::abort();
  if (reader::EntryName(text).size() > 32) std::abort();
  reader::IsDirectoryLine(text);

  const auto [blockCount, startBlock] = reader::ParseHistoryEntry(text);
  if (blockCount < 0 || startBlock < 0) std::abort();
  // What the listing writes, it reads back unchanged.
  if (reader::ParseHistoryEntry(reader::FormatHistoryEntry(blockCount, startBlock)) !=
      std::pair(blockCount, startBlock))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  CheckRoundTrip(input.first(std::min<std::size_t>(size, 2048)));
  CheckReadBack(std::string(input.begin(), input.end()));
  return 0;
}
