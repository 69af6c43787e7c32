#include "opera/Walker.h"

#include <map>
#include <set>

namespace brindle::opera {
namespace {

BlockProblem At(std::uint32_t block) {
  return {block, media::BlockStatus::Good, std::nullopt};
}

class Walker {
 public:
  Walker(const Volume& volume, const WalkLimits& limits, Tree& tree)
      : volume_(volume), limits_(limits), tree_(tree) {}

  void walk(const DirectoryRef& start) {
    if (!start.copies.empty()) visited_.insert(start.copies.front());
    if (!start.copies.empty()) onPath_.insert(start.copies.front());
    list(start, -1, 0, "");
  }

 private:
  // Lists one directory's entries into the tree, entering its directories as they come.
  void list(const DirectoryRef& dir, std::int64_t parent, int depth, const std::string& path) {
    Directory read = volume_.readDirectory(dir);
    for (const BlockProblem& p : read.problems)
      tree_.problems.push_back({WalkProblem::Kind::Block, path, p});
    for (const RecoveredBlock& r : read.recovered) tree_.recoveredBlocks.push_back({path, r});
    for (Entry& entry : read.entries) {
      if (stopped_) return;
      if (tree_.entries.size() >= limits_.maxEntries) {
        tree_.problems.push_back({WalkProblem::Kind::EntryCap, path, {}});
        stopped_ = true;
        return;
      }
      const std::string childPath = path.empty() ? entry.name : path + "/" + entry.name;
      const auto index = static_cast<std::int64_t>(tree_.entries.size());
      const bool directory = entry.isDirectory();
      const DirectoryRef ref = Volume::DirectoryOf(entry);
      tree_.entries.push_back({std::move(entry), parent, depth, childPath});
      if (directory) enter(ref, index, depth + 1, childPath);
    }
  }

  void enter(const DirectoryRef& dir, std::int64_t index, int depth, const std::string& path) {
    if (dir.copies.empty() || dir.blockCount == 0) return;
    const std::uint32_t first = dir.copies.front();
    if (onPath_.count(first)) {
      tree_.problems.push_back({WalkProblem::Kind::Cycle, path, At(first)});
      return;
    }
    if (visited_.count(first)) {
      tree_.problems.push_back({WalkProblem::Kind::AlreadyVisited, path, At(first)});
      return;
    }
    if (depth > limits_.maxDepth) {
      tree_.problems.push_back({WalkProblem::Kind::DepthCap, path, At(first)});
      return;
    }
    visited_.insert(first);
    onPath_.insert(first);
    list(dir, index, depth, path);
    onPath_.erase(first);
  }

  const Volume& volume_;
  const WalkLimits& limits_;
  Tree& tree_;
  std::set<std::uint32_t> visited_;
  std::set<std::uint32_t> onPath_;
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

std::vector<std::string> WalkProblemLines(
    const std::vector<WalkProblem>& problems,
    const std::function<std::string(const std::string&)>& shownPath,
    std::size_t shownPerDirectory) {
  std::vector<std::string> lines;
  std::map<std::string, std::size_t> told;
  std::map<std::string, std::size_t> untold;
  std::vector<std::string> order;  // directories with untold lines, first seen first
  for (std::size_t i = 0; i < problems.size(); ++i) {
    const WalkProblem& p = problems[i];
    std::size_t last = i;
    if (p.kind == WalkProblem::Kind::Block) {
      while (last + 1 < problems.size() && problems[last + 1].kind == p.kind &&
             problems[last + 1].path == p.path &&
             problems[last + 1].block.block == problems[last].block.block + 1 &&
             problems[last + 1].block.status == p.block.status &&
             problems[last + 1].block.fault == p.block.fault)
        ++last;
    }
    if (told[p.path]++ < shownPerDirectory) {
      std::string line = WalkProblemText(p, shownPath(p.path));
      if (last > i)
        line += " The same for the " + std::to_string(last - i) + " directory blocks after it.";
      lines.push_back(std::move(line));
    } else if (untold[p.path]++ == 0) {
      order.push_back(p.path);
    }
    i = last;
  }
  for (const std::string& path : order) {
    const std::string shown = shownPath(path);
    lines.push_back("\"" + (shown.empty() ? std::string("/") : shown) + "\": and " +
                    std::to_string(untold[path]) + " more directory problems.");
  }
  return lines;
}

Tree Walk(const Volume& volume, const DirectoryRef& start, const WalkLimits& limits) {
  Tree tree;
  Walker(volume, limits, tree).walk(start);
  return tree;
}

}  // namespace brindle::opera
