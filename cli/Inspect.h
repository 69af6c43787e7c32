// Looking at the whole disc: every path (tree), every field of a directory's entries and of the
// volume as JSON (ls --json, info --json), and checking every block of every copy (verify).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/Disc.h"
#include "cli/Progress.h"
#include "opera/Walker.h"

namespace brindle::cli {

// Every path below the directory reached through dirs, one a line, directories ending in "/",
// in listing order. Exit status 0 when the walk met no problem.
int PrintTree(const Disc& disc, const std::vector<std::string>& dirs, std::ostream& out,
              Reporter& reporter);

// The entries of the directory reached through dirs as one JSON document.
int PrintDirectoryJson(const Disc& disc, const std::vector<std::string>& dirs, std::ostream& out,
                       Reporter& reporter);

// The container, its tracks and the volume label as one JSON document.
int PrintVolumeJson(const Disc& disc, std::ostream& out, Reporter& reporter);

// Reads every block of every copy of every entry and directory; reports unreadable blocks and
// copies that differ. Exit status 0 only when the disc is whole.
int Verify(const Disc& disc, std::ostream& out, Reporter& reporter);

// Tells what the walk met: loops, caps, unreadable or malformed directory blocks, and directory
// blocks read from another copy.
void ReportWalk(const opera::Tree& tree, Reporter& reporter);

}  // namespace brindle::cli
