// Where the bytes of a volume to pack come from, and the checks that keep the output from ever
// landing on them: a host folder (pack) or another disc (repack).
#pragma once

#include <string>
#include <vector>

#include "opera/Walker.h"
#include "pack/Node.h"

namespace brindle::pack {

// Why out may not be written when packing folder: it lies inside the folder (it would pack
// itself), or is one of the files (or links to one); "" when it may.
std::string OutputConflict(const std::string& folder, const std::string& out, const Node& tree);

// Why out may not be written when repacking from these files (the image and the files that hold
// its tracks); "" when it may.
std::string OutputConflict(const std::vector<std::string>& inputs, const std::string& out);

// The walked tree of a disc as a tree to pack: names, types, ids, flags and order as on the
// disc, each entry stored copies times, files read from the disc. A file whose first copy runs
// past the disc's last block (discBlocks) keeps only the bytes the disc holds, so no entry costs
// more than the disc; its path (UTF-8) and stated size go to cut.
Node NodeFromDisc(const opera::Tree& tree, int copies, std::uint64_t discBlocks,
                  std::vector<std::string>& cut);

}  // namespace brindle::pack
