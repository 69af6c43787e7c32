#include "cli/Inspect.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <ostream>

#include "cli/Session.h"
#include "opera/Format.h"
#include "opera/Walker.h"
#include "output/Names.h"

namespace brindle::cli {
namespace {

using nlohmann::ordered_json;

std::string Utf8(const std::string& latin1) {
  return output::Latin1ToUtf8(latin1);
}

ordered_json EntryJson(const opera::Entry& e) {
  return ordered_json{
      {"name", Utf8(e.name)},
      {"type", Utf8(e.typeText())},
      {"directory", e.isDirectory()},
      {"flags", e.flags},
      {"id", e.id},
      {"blockSize", e.blockSize},
      {"byteCount", e.byteCount},
      {"blockCount", e.blockCount},
      {"burst", e.burst},
      {"gap", e.gap},
      {"lastCopyIndex", e.lastCopyIndex},
      {"copies", e.copies},
  };
}

}  // namespace

void ReportWalk(const opera::Tree& tree, Reporter& reporter) {
  for (const std::string& line : opera::WalkProblemLines(tree.problems, Utf8)) reporter.line(line);
  for (const std::string& line : opera::RecoveredBlockLines(tree.recoveredBlocks, Utf8))
    reporter.line(line);
}

int PrintTree(const Disc& disc, const std::vector<std::string>& dirs, std::ostream& out,
              Reporter& reporter) {
  const auto start = FindDirectory(*disc.volume, dirs, reporter.stream());
  if (!start) return kExitFailed;
  const opera::Tree tree = opera::Walk(*disc.volume, *start);
  for (const opera::WalkedEntry& w : tree.entries)
    out << Utf8(w.path) << (w.entry.isDirectory() ? "/" : "") << '\n';
  out.flush();
  ReportWalk(tree, reporter);
  return tree.problems.empty() ? kExitOk : kExitFailed;
}

int PrintDirectoryJson(const Disc& disc, const std::vector<std::string>& dirs, std::ostream& out,
                       Reporter& reporter) {
  const auto start = FindDirectory(*disc.volume, dirs, reporter.stream());
  if (!start) return kExitFailed;
  const opera::Directory dir = disc.volume->readDirectory(*start);
  ordered_json doc;
  doc["directory"] = dirs;
  doc["entries"] = ordered_json::array();
  for (const opera::Entry& e : dir.entries) doc["entries"].push_back(EntryJson(e));
  // The document carries every problem, a run of consecutive blocks with the same problem as one
  // range (a directory claiming thousands of blocks past the disc's end is one); the messages
  // tell the first of them, as the walk's do.
  doc["problems"] = ordered_json::array();
  std::string path;  // UTF-8, as given
  for (const std::string& name : dirs) path += (path.empty() ? "" : "/") + name;
  const auto asGiven = [](const std::string& p) { return p; };
  std::vector<opera::WalkProblem> told;
  for (const opera::BlockProblem& p : dir.problems) {
    const bool continues = !told.empty() && told.back().block.block + 1 == p.block &&
                           told.back().block.status == p.status &&
                           told.back().block.fault == p.fault;
    told.push_back({opera::WalkProblem::Kind::Block, path, p, 1, path.size()});
    if (continues) {
      doc["problems"].back()["lastBlock"] = p.block;
      continue;
    }
    const std::string text = p.fault ? opera::ToText(*p.fault) : media::ToText(p.status);
    doc["problems"].push_back({{"block", p.block}, {"lastBlock", p.block}, {"problem", text}});
  }
  for (const std::string& line : opera::WalkProblemLines(told, asGiven)) reporter.line(line);
  std::vector<opera::RecoveredDirectoryBlock> recovered;
  for (const opera::RecoveredBlock& r : dir.recovered) recovered.push_back({path, r});
  for (const std::string& line : opera::RecoveredBlockLines(recovered, asGiven))
    reporter.line(line);
  out << doc.dump(2) << '\n';
  return dir.problems.empty() ? kExitOk : kExitFailed;
}

int PrintVolumeJson(const Disc& disc, std::ostream& out, Reporter&) {
  const opera::VolumeLabel& v = disc.volume->label();
  ordered_json doc;
  doc["container"] = disc.device->describe();
  doc["tracks"] = ordered_json::array();
  for (const media::TrackInfo& t : disc.device->tracks()) {
    doc["tracks"].push_back({{"number", t.number},
                             {"mode", t.mode},
                             {"sectorSize", t.sectorSize},
                             {"firstSector", t.firstSector},
                             {"sectorCount", t.sectorCount},
                             {"file", t.file}});
  }
  doc["volume"] = {{"label", Utf8(v.label)},
                   {"comment", Utf8(v.comment)},
                   {"recordType", v.recordType},
                   {"version", v.version},
                   {"flags", v.flags},
                   {"id", v.id},
                   {"blockSize", v.blockSize},
                   {"blockCount", v.blockCount},
                   {"size", opera::DiscSizeText(v.blockCount)},
                   {"rootId", v.rootId},
                   {"rootBlockCount", v.rootBlockCount},
                   {"rootBlockSize", v.rootBlockSize},
                   {"rootLastCopyIndex", v.rootLastCopyIndex},
                   {"rootCopies", v.rootCopies}};
  doc["volume"]["sync"] = opera::kSyncBytes;
  const DiscFacts facts = GatherDiscFacts(disc);
  auto tags = ordered_json::array();
  for (const opera::RomTag& t : facts.romTags.tags) {
    tags.push_back({{"subsystemType", t.subsystemType},
                    {"type", t.type},
                    {"version", t.version},
                    {"revision", t.revision},
                    {"flags", t.flags},
                    {"typeSpecific", t.typeSpecific},
                    {"offset", t.offset},
                    {"size", t.size},
                    {"wellFormed", t.reservedClear}});
  }
  doc["romTags"] = {
      {"block", opera::kRomTagsBlock},
      {"status", facts.romTagsAreRoot ? "root directory" : media::ToText(facts.romTags.status)},
      {"ended", facts.romTags.ended},
      {"tags", tags}};
  doc["entryCount"] = facts.entryCount;
  doc["totalDataBytes"] = facts.totalBytes;
  doc["walkProblems"] = facts.walkProblems;
  out << doc.dump(2) << '\n';
  return kExitOk;
}

DiscFacts GatherDiscFacts(const Disc& disc) {
  DiscFacts facts;
  const auto& copies = disc.volume->label().rootCopies;
  // A volume whose root directory starts in block 1 has no ROM tags there.
  facts.romTagsAreRoot =
      std::find(copies.begin(), copies.end(), opera::kRomTagsBlock) != copies.end();
  if (!facts.romTagsAreRoot) facts.romTags = opera::ReadRomTags(*disc.device);
  const opera::Tree tree = opera::Walk(*disc.volume, disc.volume->root());
  facts.entryCount = tree.entries.size();
  for (const opera::WalkedEntry& w : tree.entries) {
    if (!w.entry.isDirectory()) facts.totalBytes += w.entry.byteCount;
  }
  facts.walkProblems = tree.problems.size();
  return facts;
}

void PrintDiscFacts(const Disc& disc, std::ostream& out) {
  const DiscFacts facts = GatherDiscFacts(disc);
  if (facts.romTagsAreRoot) {
    out << "ROM tags (block 1): none, the block holds the root directory\n";
  } else if (facts.romTags.status != media::BlockStatus::Good) {
    out << "ROM tags (block 1): the block is " << media::ToText(facts.romTags.status) << '\n';
  } else {
    out << "ROM tags (block 1): " << facts.romTags.tags.size() << " tags"
        << (facts.romTags.ended ? "" : ", no end record in the block: the table does not parse")
        << '\n';
    for (const opera::RomTag& t : facts.romTags.tags) {
      out << "  sub-system type " << int{t.subsystemType} << ", type " << int{t.type}
          << ", version " << int{t.version} << ", revision " << int{t.revision} << ", flags "
          << int{t.flags} << ", type-specific " << int{t.typeSpecific} << ", offset " << t.offset
          << ", size " << t.size << (t.reservedClear ? "" : " (reserved bytes not zero)") << '\n';
    }
  }
  out << "Entries: " << facts.entryCount << ", " << facts.totalBytes << " bytes of file data";
  if (facts.walkProblems) out << " (" << facts.walkProblems << " directory problems: verify tells)";
  out << '\n';
}

void AddBlock(std::vector<BlockRun>& runs, std::uint64_t block) {
  if (!runs.empty() && runs.back().last + 1 == block) {
    runs.back().last = block;
  } else {
    runs.push_back({block, block});
  }
}

std::string RunText(const BlockRun& run) {
  return run.first == run.last ? std::to_string(run.first)
                               : std::to_string(run.first) + " to " + std::to_string(run.last);
}

std::string RunsText(const std::vector<BlockRun>& runs, std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < runs.size() && i < shown; ++i)
    text += (i == 0 ? "" : ", ") + RunText(runs[i]);
  if (runs.size() > shown) text += " and " + std::to_string(runs.size() - shown) + " more";
  return text;
}

namespace {

// What verify found in one copy, or between two copies, of one entry: runs of the entry's blocks.
struct Finding {
  std::size_t copy;       // from 0
  std::size_t reference;  // differing: the copy it was compared with
  media::BlockStatus status;
  std::vector<BlockRun> runs;
};

std::string Plural(const BlockRun& run, const std::string& one) {
  if (run.first == run.last) return one;
  const std::size_t its = one.find("its");
  return its == std::string::npos ? one : one.substr(0, its) + "their" + one.substr(its + 3);
}

// One line per run, at most kShownRuns of them per entry, then how many more there are.
constexpr std::size_t kShownRuns = 20;

}  // namespace

int Verify(const Disc& disc, std::ostream& out, Reporter& reporter, bool strict) {
  const opera::Tree tree = opera::Walk(*disc.volume, disc.volume->root());
  ReportWalk(tree, reporter);

  struct Item {
    std::string path;
    std::uint64_t blocks;
    const std::vector<std::uint32_t>* copies;
  };
  const opera::VolumeLabel& label = disc.volume->label();
  const std::uint64_t end = disc.device->blockCount();
  // The blocks of a copy that lie on the disc; the rest lie past its end and are never read.
  const auto onDisc = [end](std::uint64_t first, std::uint64_t blocks) {
    return first < end ? std::min(blocks, end - first) : std::uint64_t{0};
  };
  std::vector<Item> items{{"/", label.rootBlockCount, &label.rootCopies}};
  for (const opera::WalkedEntry& w : tree.entries) {
    const std::uint64_t blocks =
        w.entry.isDirectory()
            ? w.entry.blockCount
            : (std::uint64_t{w.entry.byteCount} + media::kBlockSize - 1) / media::kBlockSize;
    items.push_back({Utf8(w.path) + (w.entry.isDirectory() ? "/" : ""), blocks, &w.entry.copies});
  }
  std::uint64_t totalBytes = 0;
  for (const Item& item : items)
    for (const std::uint32_t first : *item.copies)
      totalBytes += onDisc(first, item.blocks) * media::kBlockSize;

  Progress progress(reporter, items.size(), totalBytes);
  constexpr std::uint64_t kRun = 64;
  std::vector<std::vector<std::uint8_t>> data;
  std::vector<std::vector<media::BlockStatus>> status;
  std::uint64_t blocksRead = 0, unreadable = 0, pastEnd = 0, differing = 0;
  std::uint64_t unrecoverable = 0;  // entries with a block that no copy gives
  for (const Item& item : items) {
    const auto& copies = *item.copies;
    data.resize(copies.size());
    status.resize(copies.size());
    std::vector<std::uint64_t> readable(copies.size());
    std::uint64_t longest = 0;
    for (std::size_t c = 0; c < copies.size(); ++c) {
      readable[c] = onDisc(copies[c], item.blocks);
      longest = std::max(longest, readable[c]);
    }
    std::vector<Finding> findings;
    const auto findingOf = [&findings](std::size_t copy, std::size_t reference,
                                       media::BlockStatus s) -> Finding& {
      for (Finding& f : findings)
        if (f.copy == copy && f.reference == reference && f.status == s) return f;
      return findings.emplace_back(Finding{copy, reference, s, {}});
    };
    bool lost = item.blocks > longest;  // blocks past the end in every copy
    for (std::uint64_t first = 0; first < longest; first += kRun) {
      if (Interrupted()) {
        progress.finish();
        reporter.line("Interrupted.");
        return kExitInterrupted;
      }
      const std::uint64_t run = std::min(kRun, longest - first);
      for (std::size_t c = 0; c < copies.size(); ++c) {
        if (first >= readable[c]) continue;
        const std::uint64_t here = std::min(run, readable[c] - first);
        data[c].resize(here * media::kBlockSize);
        status[c].resize(here);
        disc.device->read(std::uint64_t{copies[c]} + first, data[c], status[c]);
        blocksRead += here;
        progress.addBytes(here * media::kBlockSize);
      }
      for (std::uint64_t b = 0; b < run; ++b) {
        std::optional<std::size_t> reference;
        for (std::size_t c = 0; c < copies.size(); ++c) {
          if (first + b >= readable[c]) continue;
          if (status[c][b] != media::BlockStatus::Good) {
            ++unreadable;
            AddBlock(findingOf(c, c, status[c][b]).runs, first + b);
            continue;
          }
          if (!reference) {
            reference = c;
          } else if (!std::equal(data[c].begin() + b * media::kBlockSize,
                                 data[c].begin() + (b + 1) * media::kBlockSize,
                                 data[*reference].begin() + b * media::kBlockSize)) {
            ++differing;
            AddBlock(findingOf(c, *reference, media::BlockStatus::Good).runs, first + b);
          }
        }
        if (!reference) lost = true;
      }
    }
    if (lost && !copies.empty()) ++unrecoverable;

    std::size_t lines = 0, more = 0;
    bool moreDamage = false;  // the count of the rest goes where the lines it stands for would
    const auto tell = [&](bool damage, const std::string& text) {
      if (lines++ >= kShownRuns) {
        ++more;
        moreDamage = moreDamage || damage || strict;
      } else if (damage || strict) {
        reporter.line(text);
      } else {
        out << text << '\n';
      }
    };
    for (std::size_t c = 0; c < copies.size(); ++c) {
      if (readable[c] >= item.blocks) continue;
      const BlockRun run{readable[c], item.blocks - 1};
      pastEnd += item.blocks - readable[c];
      tell(true, item.path + ": " + (run.first == run.last ? "block " : "blocks ") + RunText(run) +
                     " of copy " + std::to_string(c + 1) + " (disc " +
                     (run.first == run.last ? "block " : "blocks ") +
                     RunText({copies[c] + run.first, copies[c] + run.last}) +
                     (run.first == run.last ? ") lies" : ") lie") + " past the end of the disc.");
    }
    for (const Finding& f : findings) {
      for (const BlockRun& r : f.runs) {
        const std::string which = r.first == r.last ? "block " : "blocks ";
        const BlockRun at{copies[f.copy] + r.first, copies[f.copy] + r.last};
        if (f.status != media::BlockStatus::Good) {
          tell(true, item.path + ": " + which + RunText(r) + " of copy " +
                         std::to_string(f.copy + 1) + " (disc " + which + RunText(at) + ") " +
                         Plural(r, media::ToText(f.status)) + ".");
        } else {
          const BlockRun was{copies[f.reference] + r.first, copies[f.reference] + r.last};
          tell(false, item.path + ": " + which + RunText(r) +
                          (r.first == r.last ? " differs" : " differ") + " between copy " +
                          std::to_string(f.reference + 1) + " and copy " +
                          std::to_string(f.copy + 1) + " (disc blocks " + RunText(was) + " and " +
                          RunText(at) + ").");
        }
      }
    }
    if (more > 0) {
      const std::string text = item.path + ": and " + std::to_string(more) + " more.";
      if (moreDamage) {
        reporter.line(text);
      } else {
        out << text << '\n';
      }
    }
    progress.addFile();
  }
  progress.finish();

  const bool damaged = !tree.problems.empty() || unreadable > 0 || pastEnd > 0;
  std::string verdict;
  if (damaged) {
    verdict = "the disc is damaged; ";
    if (!tree.problems.empty()) {
      verdict += "entries in unreadable directories are missing.";
    } else if (unrecoverable > 0) {
      verdict += std::to_string(unrecoverable) +
                 (unrecoverable == 1 ? " entry has" : " entries have") +
                 " blocks that no copy gives.";
    } else {
      verdict += "every entry can still be read whole from its other copies.";
    }
  } else if (differing > 0) {
    verdict = strict ? "copies differ, which --strict counts as damage."
                     : "the disc is whole; copies that read cleanly but differ are listed above.";
  } else {
    verdict = "the disc is whole.";
  }
  out << items.size() << " entries, " << blocksRead << " blocks read, " << unreadable
      << " unreadable, " << differing << " differing between copies"
      << (pastEnd > 0 ? ", " + std::to_string(pastEnd) + " past the end of the disc" : "") << ": "
      << verdict << '\n';
  return damaged || (strict && differing > 0) ? kExitFailed : kExitOk;
}

}  // namespace brindle::cli
