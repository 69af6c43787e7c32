// Listing directories into the window: the directory block format, ListDirectory and the root.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "reader/BlockSource.h"
#include "reader/ReaderWindow.h"

namespace brindle::reader {

// Appends the entry lines of one directory block to lines, in disc order, skipping absent
// entries. False when the block is malformed (used-area end or an entry position beyond 32,767,
// a name with no zero byte); the lines of the entries before the fault are kept. Never reads
// outside block, whatever its size.
bool AppendBlockLines(std::span<const std::uint8_t> block, std::vector<std::string>& lines);

// Pushes the directory's history entry, then reads its blocks and appends prefix followed by
// its entry lines to lstFiles in one update. An unreadable drive block contributes no lines.
// False when the directory is malformed or an image read fails; what was read before stays.
bool ListDirectory(ReaderWindow& window, const BlockSource& source, std::int32_t blockCount,
                   std::int32_t startBlock, const std::vector<std::string>& prefix = {});

// Clears lstFiles and lstHistory, lists the root directory and shows the disc size. False when
// an image read or the root listing fails; the size is then left as it was.
bool LoadRootDirectory(ReaderWindow& window, const BlockSource& source);

}  // namespace brindle::reader
