// Looking at the whole disc: every path (tree), every field of a directory's entries and of the
// volume as JSON (ls --json, info --json), and checking every block of every copy (verify).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/Disc.h"
#include "cli/Progress.h"
#include "opera/RomTags.h"
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

// The facts of a disc beyond its label: the ROM tags of block 1, and from a walk of the whole
// tree the number of entries and the bytes of file data they hold.
struct DiscFacts {
  opera::RomTags romTags;
  bool romTagsAreRoot = false;  // block 1 is the root directory's: no table to read
  std::uint64_t entryCount = 0;
  std::uint64_t totalBytes = 0;
  std::uint64_t walkProblems = 0;
};
DiscFacts GatherDiscFacts(const Disc& disc);
// Every field of the volume label, the ROM tags, the entry count and data size, as lines.
void PrintVolumeText(const Disc& disc, std::ostream& out);

// Reads every block of every copy of every entry and directory; reports unreadable blocks and
// copies that differ. Exit status 0 only when the disc is whole.
int Verify(const Disc& disc, std::ostream& out, Reporter& reporter);

// Tells what the walk met: loops, caps, unreadable or malformed directory blocks, and directory
// blocks read from another copy.
void ReportWalk(const opera::Tree& tree, Reporter& reporter);

// The shape of the JSON documents, for --help.
extern const char* const kJsonShape;

}  // namespace brindle::cli
