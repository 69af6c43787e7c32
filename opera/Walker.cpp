#include "opera/Walker.h"

#include <algorithm>
#include <iterator>
#include <map>

#include "opera/Format.h"

namespace brindle::opera {
namespace {

BlockProblem At(std::uint32_t block) {
  return {block, media::BlockStatus::Good, std::nullopt};
}

// Disc blocks as a set of disjoint ranges [first, end).
class BlockRanges {
 public:
  bool overlaps(std::uint64_t first, std::uint64_t end) const {
    auto after = ranges_.upper_bound(first);
    if (after != ranges_.end() && after->first < end) return true;
    return after != ranges_.begin() && std::prev(after)->second > first;
  }
  void add(std::uint64_t first, std::uint64_t end) {
    auto at = ranges_.upper_bound(first);
    if (at != ranges_.begin() && std::prev(at)->second >= first) {
      --at;
      first = at->first;
      end = std::max(end, at->second);
      at = ranges_.erase(at);
    }
    while (at != ranges_.end() && at->first <= end) {
      end = std::max(end, at->second);
      at = ranges_.erase(at);
    }
    ranges_.emplace(first, end);
  }

 private:
  std::map<std::uint64_t, std::uint64_t> ranges_;
};

// The blocks a directory's copy covers, as far as a directory can reach: one claiming more is
// refused unread and covers nothing.
std::uint64_t Covered(const DirectoryRef& dir) {
  return dir.blockCount <= kDirectoryLimit ? dir.blockCount : 0;
}

class Walker {
 public:
  Walker(const Volume& volume, const WalkLimits& limits, Tree& tree)
      : volume_(volume), limits_(limits), tree_(tree) {}

  void walk(const DirectoryRef& start) {
    claim(start);
    if (!start.copies.empty()) onPath_.push_back({start.copies.front(), Covered(start)});
    list(start, -1, 0, "");
  }

 private:
  // Lists one directory's entries into the tree, entering its directories as they come.
  void list(const DirectoryRef& dir, std::int64_t parent, int depth, const std::string& path) {
    Directory read = volume_.readDirectory(dir);
    for (const BlockProblem& p : read.problems) {
      // A run of blocks with the same problem is one (a directory claiming thousands of blocks
      // past the disc's end costs one problem, not thousands).
      WalkProblem* last = tree_.problems.empty() ? nullptr : &tree_.problems.back();
      if (last != nullptr && last->kind == WalkProblem::Kind::Block && last->path == path &&
          std::uint64_t{last->block.block} + last->blocks == p.block &&
          last->block.status == p.status && last->block.fault == p.fault) {
        ++last->blocks;
      } else {
        tree_.problems.push_back({WalkProblem::Kind::Block, path, p, 1, path.size()});
      }
    }
    for (const RecoveredBlock& r : read.recovered) tree_.recoveredBlocks.push_back({path, r});
    for (Entry& entry : read.entries) {
      if (stopped_) return;
      if (tree_.entries.size() >= limits_.maxEntries) {
        tree_.problems.push_back({WalkProblem::Kind::EntryCap, path, {}, 1, path.size()});
        stopped_ = true;
        return;
      }
      const std::string childPath = path.empty() ? entry.name : path + "/" + entry.name;
      const auto index = static_cast<std::int64_t>(tree_.entries.size());
      const bool directory = entry.isDirectory();
      const DirectoryRef ref = Volume::DirectoryOf(entry);
      tree_.entries.push_back({std::move(entry), parent, depth, childPath});
      if (directory) enter(ref, index, depth + 1, childPath, path.size());
    }
  }

  // A directory is entered once, and only when none of its copies shares a block with a copy of
  // a directory already walked: on a sound disc no two directories share blocks, and on a crafted
  // one, directories that overlap each other or name another's blocks as their copies would list
  // the same blocks again and again.
  void enter(const DirectoryRef& dir, std::int64_t index, int depth, const std::string& path,
             std::size_t listedIn) {
    if (dir.copies.empty() || dir.blockCount == 0) return;
    const std::uint32_t first = dir.copies.front();
    const std::uint64_t covered = Covered(dir);
    for (const auto& [ancestor, blocks] : onPath_) {
      if (first == ancestor || (first < ancestor + blocks && ancestor < first + covered)) {
        tree_.problems.push_back({WalkProblem::Kind::Cycle, path, At(first), 1, listedIn});
        return;
      }
    }
    for (const std::uint32_t copy : dir.copies) {
      if (visited_.overlaps(copy, copy + std::max<std::uint64_t>(covered, 1))) {
        tree_.problems.push_back({WalkProblem::Kind::AlreadyVisited, path, At(first), 1, listedIn});
        return;
      }
    }
    if (depth > limits_.maxDepth) {
      tree_.problems.push_back({WalkProblem::Kind::DepthCap, path, At(first), 1, listedIn});
      return;
    }
    claim(dir);
    onPath_.push_back({first, covered});
    list(dir, index, depth, path);
    onPath_.pop_back();
  }

  void claim(const DirectoryRef& dir) {
    const std::uint64_t covered = std::max<std::uint64_t>(Covered(dir), 1);
    for (const std::uint32_t copy : dir.copies) visited_.add(copy, copy + covered);
  }

  const Volume& volume_;
  const WalkLimits& limits_;
  Tree& tree_;
  BlockRanges visited_;                                          // every copy of every directory
  std::vector<std::pair<std::uint32_t, std::uint64_t>> onPath_;  // first copy, blocks covered
  bool stopped_ = false;
};

}  // namespace

const char* ToText(WalkProblem::Kind kind) {
  switch (kind) {
    case WalkProblem::Kind::Cycle:
      return "directory contains itself; not entered again";
    case WalkProblem::Kind::AlreadyVisited:
      return "directory shares its blocks with one already walked; not entered again";
    case WalkProblem::Kind::DepthCap:
      return "directory nested too deep; not entered";
    case WalkProblem::Kind::EntryCap:
      return "too many entries; the walk stopped here";
    case WalkProblem::Kind::Block:
      return "directory block";
  }
  return "unknown";
}

std::string WalkProblemText(const WalkProblem& problem, const std::string& shownPath) {
  const std::string where = "\"" + (shownPath.empty() ? std::string("/") : shownPath) + "\"";
  if (problem.kind != WalkProblem::Kind::Block) {
    return where + ": " + ToText(problem.kind) + " (block " + std::to_string(problem.block.block) +
           ").";
  }
  const std::string head =
      "Directory " + where + ", disc block " + std::to_string(problem.block.block) + ": ";
  if (problem.block.fault)
    return head + ToText(*problem.block.fault) + "; its entries are missing.";
  return head + media::ToText(problem.block.status) + " in every copy; its entries are missing.";
}

namespace {

std::string Quoted(const std::string& shown) {
  return "\"" + (shown.empty() ? std::string("/") : shown) + "\"";
}

// Lines told per directory: the first shown of each directory's, then for each directory with
// more a count of the rest, first seen first.
class LinesPerDirectory {
 public:
  LinesPerDirectory(const std::function<std::string(const std::string&)>& shownPath,
                    std::size_t shown)
      : shownPath_(shownPath), shown_(shown) {}

  // True when the next line of path is to be told; otherwise it is counted.
  bool tells(const std::string& path) {
    if (told_[path]++ < shown_) return true;
    if (untold_[path]++ == 0) order_.push_back(path);
    return false;
  }
  void add(std::string line) { lines_.push_back(std::move(line)); }

  std::vector<std::string> finish(const std::string& what) {
    for (const std::string& path : order_) {
      lines_.push_back(Quoted(shownPath_(path)) + ": and " + std::to_string(untold_[path]) +
                       " more " + what + ".");
    }
    return std::move(lines_);
  }

 private:
  const std::function<std::string(const std::string&)>& shownPath_;
  std::size_t shown_;
  std::vector<std::string> lines_;
  std::map<std::string, std::size_t> told_;
  std::map<std::string, std::size_t> untold_;
  std::vector<std::string> order_;
};

}  // namespace

std::vector<std::string> WalkProblemLines(
    const std::vector<WalkProblem>& problems,
    const std::function<std::string(const std::string&)>& shownPath,
    std::size_t shownPerDirectory) {
  LinesPerDirectory lines(shownPath, shownPerDirectory);
  for (std::size_t i = 0; i < problems.size(); ++i) {
    const WalkProblem& p = problems[i];
    std::size_t last = i;
    std::uint64_t blocks = p.blocks;
    if (p.kind == WalkProblem::Kind::Block) {
      while (last + 1 < problems.size() && problems[last + 1].kind == p.kind &&
             problems[last + 1].path == p.path &&
             problems[last + 1].block.block ==
                 std::uint64_t{problems[last].block.block} + problems[last].blocks &&
             problems[last + 1].block.status == p.block.status &&
             problems[last + 1].block.fault == p.block.fault)
        blocks += problems[++last].blocks;
    }
    if (lines.tells(p.path.substr(0, std::min(p.listedIn, p.path.size())))) {
      std::string line = WalkProblemText(p, shownPath(p.path));
      if (blocks > 1)
        line += " The same for the " + std::to_string(blocks - 1) + " directory blocks after it.";
      lines.add(std::move(line));
    }
    i = last;
  }
  return lines.finish("directory problems");
}

std::vector<std::string> RecoveredBlockLines(
    const std::vector<RecoveredDirectoryBlock>& recovered,
    const std::function<std::string(const std::string&)>& shownPath,
    std::size_t shownPerDirectory) {
  LinesPerDirectory lines(shownPath, shownPerDirectory);
  for (std::size_t i = 0; i < recovered.size(); ++i) {
    const RecoveredDirectoryBlock& r = recovered[i];
    std::size_t last = i;
    while (last + 1 < recovered.size() && recovered[last + 1].path == r.path &&
           recovered[last + 1].recovered.copy == r.recovered.copy &&
           recovered[last + 1].recovered.index == recovered[last].recovered.index + 1)
      ++last;
    if (lines.tells(r.path)) {
      const RecoveredBlock& end = recovered[last].recovered;
      const bool one = last == i;
      const auto span = [one](std::uint32_t first, std::uint32_t through) {
        return one ? std::to_string(first)
                   : std::to_string(first) + " to " + std::to_string(through);
      };
      lines.add(Quoted(shownPath(r.path)) + ": directory " + (one ? "block " : "blocks ") +
                span(r.recovered.index, end.index) + " (disc " + (one ? "block " : "blocks ") +
                span(r.recovered.block, end.block) +
                ") could not be used from copy 1; read from copy " +
                std::to_string(r.recovered.copy + 1) + ".");
    }
    i = last;
  }
  return lines.finish("directory blocks read from another copy");
}

Tree Walk(const Volume& volume, const DirectoryRef& start, const WalkLimits& limits) {
  Tree tree;
  Walker(volume, limits, tree).walk(start);
  return tree;
}

}  // namespace brindle::opera
