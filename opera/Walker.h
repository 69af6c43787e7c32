// Walking the whole tree below a directory. Terminates on any input: a directory overlapping one
// on the current path, or sharing a block with any copy of one already walked, is not entered, and
// the depth and the number of entries are capped. Each of these is reported, none is silent. So
// a walk lists each disc block at most once per copy of one directory: its entries are bounded by
// the disc's size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "opera/Volume.h"

namespace brindle::opera {

struct WalkLimits {
  int maxDepth = 64;                   // directories below the start
  std::uint64_t maxEntries = 1000000;  // entries in the whole walk
};

struct WalkedEntry {
  Entry entry;
  std::int64_t parent = -1;  // index of the directory holding it; -1 below the start
  int depth = 0;             // 0 for the start directory's own entries
  std::string path;          // names from the start joined by '/', Latin-1
};

struct WalkProblem {
  enum class Kind : std::uint8_t {
    Cycle,           // the directory is one of its own ancestors
    AlreadyVisited,  // the directory's blocks were walked under another name
    DepthCap,        // too deep: not entered
    EntryCap,        // too many entries: the walk stopped
    Block,           // a directory block could not be read or is malformed
  };
  Kind kind;
  std::string path;          // the directory concerned ("" for the start)
  BlockProblem block;        // for Kind::Block: the first disc block of the run
  std::uint32_t blocks = 1;  // Kind::Block: consecutive directory blocks with this problem
  // The length of the start of path that names the directory whose listing met the problem: the
  // directory itself for Block and EntryCap, the one holding its entry for the rest.
  std::size_t listedIn = 0;
};

const char* ToText(WalkProblem::Kind kind);

// The one wording of a walk problem, for the command line and the mount alike; shownPath is the
// directory's path as the user sees it (UTF-8; the start is shown as "/").
std::string WalkProblemText(const WalkProblem& problem, const std::string& shownPath);

// Every problem of a walk as the lines that tell it: a run of consecutive directory blocks of one
// directory with the same problem is one line (a directory claiming thousands of blocks past the
// disc's end), and the problems each directory's listing met take at most shownPerDirectory
// lines, then how many more.
// shownPath turns a directory's disc path into the path the user sees.
std::vector<std::string> WalkProblemLines(
    const std::vector<WalkProblem>& problems,
    const std::function<std::string(const std::string&)>& shownPath,
    std::size_t shownPerDirectory = 20);

// A directory block the walk read from another copy than the first.
struct RecoveredDirectoryBlock {
  std::string path;  // the directory ("" for the start)
  RecoveredBlock recovered;
};

// Every directory block of a walk read from another copy, as the lines that tell it: consecutive
// blocks of one directory read from the same copy are one line, and each directory tells at most
// shownPerDirectory lines, then how many more.
std::vector<std::string> RecoveredBlockLines(
    const std::vector<RecoveredDirectoryBlock>& recovered,
    const std::function<std::string(const std::string&)>& shownPath,
    std::size_t shownPerDirectory = 20);

struct Tree {
  std::vector<WalkedEntry> entries;  // depth first, each directory's entries in disc order
                                     // right after it
  std::vector<WalkProblem> problems;
  std::vector<RecoveredDirectoryBlock> recoveredBlocks;
};

Tree Walk(const Volume& volume, const DirectoryRef& start, const WalkLimits& limits = {});

}  // namespace brindle::opera
