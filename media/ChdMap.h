// The hunk map of a CHD version 5 file: the compressed form (Huffman-coded hunk kinds with runs,
// bit-packed lengths, CRCs and references, checked by the CRC16 of the decoded map) and the plain
// table of an uncompressed file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/ChdFormat.h"

namespace brindle::media::chd {

// The map of the file whose header is header; nothing (why set) when it is cut off, fails its
// CRC, or refers to a parent file. Self references are resolved to the hunk they repeat.
std::optional<std::vector<HunkEntry>> ReadMap(const ByteSource& source, const Header& header,
                                              std::string& why);

}  // namespace brindle::media::chd
