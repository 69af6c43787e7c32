// extract -r --layout: the layout file beside the extracted tree, from which pack --layout
// rebuilds a disc that lists as the original.
#pragma once

#include <string>
#include <vector>

#include "cli/Disc.h"
#include "cli/Progress.h"

namespace brindle::cli {

// Writes the layout of the directory reached through dirs to path; the exit status.
int WriteExtractLayout(const Disc& disc, const std::vector<std::string>& dirs,
                       const std::string& path, Reporter& reporter);

}  // namespace brindle::cli
