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
// The ROM tags, the entry count and the data size, as lines (after the label's fields).
void PrintDiscFacts(const Disc& disc, std::ostream& out);

// Reads every block on the disc of every copy of every entry and directory, once per copy.
// Unreadable blocks and blocks past the disc's end are damage (exit status 1; the summary says
// whether every entry can still be read whole from its other copies). Copies that read cleanly
// but differ are a report on out (the disc label's and the ROM tags' copies do on real discs),
// exit status 0; strict counts them as damage.
int Verify(const Disc& disc, std::ostream& out, Reporter& reporter, bool strict = false);

// Runs of consecutive blocks, for messages that list blocks.
struct BlockRun {
  std::uint64_t first;
  std::uint64_t last;
};
// Adds block to runs (blocks come in ascending order).
void AddBlock(std::vector<BlockRun>& runs, std::uint64_t block);
// "7" or "3 to 9".
std::string RunText(const BlockRun& run);
// The first shown runs, ", "-separated, then " and N more" when there are more.
std::string RunsText(const std::vector<BlockRun>& runs, std::size_t shown);

// Tells what the walk met: loops, caps, unreadable or malformed directory blocks, and directory
// blocks read from another copy.
void ReportWalk(const opera::Tree& tree, Reporter& reporter);

}  // namespace brindle::cli
