// The entry line: the 65-character fixed-column text that stands for one directory entry in
// lstFiles, and the only record of the entry. Columns (1-based): 1-34 name, 35-40 type and two
// spaces, 41-49 size, 50-55 " bytes", 56-65 first block. Bytes are Latin-1 characters.
#pragma once

#include <cstdint>
#include <string>

namespace brindle::opera {

// The two navigation lines that head every listing below the root.
inline constexpr const char* kRootLine = "/";
inline constexpr const char* kParentLine = "..";

// The entry's name as the reader takes it back: the first 32 characters, leading and trailing
// spaces removed. Also what Ctrl+C puts on the clipboard.
std::string EntryName(const std::string& line);

}  // namespace brindle::opera
