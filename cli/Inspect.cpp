#include "cli/Inspect.h"

#include <nlohmann/json.hpp>

#include <algorithm>
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
  for (const opera::WalkProblem& p : tree.problems) {
    std::string text = "\"" + Utf8(p.path) + "\": ";
    if (p.kind == opera::WalkProblem::Kind::Block) {
      text += "directory block " + std::to_string(p.block.block) + " " +
              (p.block.fault ? opera::ToText(*p.block.fault) : media::ToText(p.block.status)) +
              "; its entries are missing.";
    } else {
      text +=
          std::string(opera::ToText(p.kind)) + " (block " + std::to_string(p.block.block) + ").";
    }
    reporter.line(text);
  }
  for (const auto& [path, block] : tree.recoveredBlocks)
    reporter.line("\"" + Utf8(path) + "\": directory block " + std::to_string(block) +
                  " read from another copy.");
}

const char* const kJsonShape =
    "JSON:\n"
    "  Names are the UTF-8 text of the disc's Latin-1 bytes; numbers are as stored.\n"
    "  ls --json:   {\"directory\": [names...], \"entries\": [ENTRY...],\n"
    "                \"problems\": [{\"block\": N, \"problem\": TEXT}...]}\n"
    "  ENTRY:       {\"name\", \"type\", \"directory\": bool, \"flags\", \"id\", \"blockSize\",\n"
    "                \"byteCount\", \"blockCount\", \"burst\", \"gap\", \"lastCopyIndex\",\n"
    "                \"copies\": [first block of each copy]}\n"
    "  info --json: {\"container\": TEXT, \"tracks\": [{\"number\", \"mode\", \"sectorSize\",\n"
    "                \"firstSector\", \"sectorCount\", \"file\"}...],\n"
    "                \"volume\": {\"label\", \"comment\", \"recordType\", \"version\", \"flags\",\n"
    "                \"id\", \"blockSize\", \"blockCount\", \"size\", \"rootId\", "
    "\"rootBlockCount\",\n"
    "                \"rootBlockSize\", \"rootLastCopyIndex\", \"rootCopies\": [...]}}";

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
  doc["problems"] = ordered_json::array();
  for (const opera::BlockProblem& p : dir.problems) {
    const std::string text = p.fault ? opera::ToText(*p.fault) : media::ToText(p.status);
    doc["problems"].push_back({{"block", p.block}, {"problem", text}});
    reporter.line("directory block " + std::to_string(p.block) + ": " + text);
  }
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

void PrintVolumeText(const Disc& disc, std::ostream& out) {
  const opera::VolumeLabel& v = disc.volume->label();
  out << "Volume label (block 0):\n"
      << "  record type " << int{v.recordType} << ", sync " << opera::kSyncBytes << ", version "
      << int{v.version} << ", flags " << int{v.flags} << '\n'
      << "  comment \"" << Utf8(v.comment) << "\"\n"
      << "  identifier \"" << Utf8(v.label) << "\"\n"
      << "  unique id " << v.id << ", block size " << v.blockSize << ", block count "
      << v.blockCount << '\n'
      << "  root: id " << v.rootId << ", " << v.rootBlockCount << " blocks of " << v.rootBlockSize
      << " bytes, last copy index " << v.rootLastCopyIndex << ", copies at";
  for (std::uint32_t copy : v.rootCopies) out << ' ' << copy;
  out << '\n';
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

int Verify(const Disc& disc, std::ostream& out, Reporter& reporter) {
  const opera::Tree tree = opera::Walk(*disc.volume, disc.volume->root());
  ReportWalk(tree, reporter);
  bool whole = tree.problems.empty();

  struct Item {
    std::string path;
    std::uint64_t blocks;
    const std::vector<std::uint32_t>* copies;
  };
  const opera::VolumeLabel& label = disc.volume->label();
  std::vector<Item> items{{"/", label.rootBlockCount, &label.rootCopies}};
  std::uint64_t totalBytes = std::uint64_t{label.rootBlockCount} * media::kBlockSize;
  for (const opera::WalkedEntry& w : tree.entries) {
    const std::uint64_t blocks =
        w.entry.isDirectory()
            ? w.entry.blockCount
            : (std::uint64_t{w.entry.byteCount} + media::kBlockSize - 1) / media::kBlockSize;
    items.push_back({Utf8(w.path) + (w.entry.isDirectory() ? "/" : ""), blocks, &w.entry.copies});
    totalBytes += blocks * media::kBlockSize * w.entry.copies.size();
  }

  Progress progress(reporter, items.size(), totalBytes);
  constexpr std::uint64_t kRun = 64;
  std::vector<std::vector<std::uint8_t>> data;
  std::vector<std::vector<media::BlockStatus>> status;
  std::uint64_t blocksRead = 0, unreadable = 0, differing = 0;
  for (const Item& item : items) {
    const auto& copies = *item.copies;
    data.resize(copies.size());
    status.resize(copies.size());
    for (std::uint64_t first = 0; first < item.blocks; first += kRun) {
      if (Interrupted()) {
        progress.finish();
        reporter.line("Interrupted.");
        return kExitInterrupted;
      }
      const std::uint64_t run = std::min(kRun, item.blocks - first);
      for (std::size_t c = 0; c < copies.size(); ++c) {
        data[c].resize(run * media::kBlockSize);
        status[c].resize(run);
        disc.device->read(std::uint64_t{copies[c]} + first, data[c], status[c]);
        blocksRead += run;
        progress.addBytes(run * media::kBlockSize);
      }
      for (std::uint64_t b = 0; b < run; ++b) {
        std::optional<std::size_t> reference;
        for (std::size_t c = 0; c < copies.size(); ++c) {
          const std::uint64_t discBlock = std::uint64_t{copies[c]} + first + b;
          if (status[c][b] != media::BlockStatus::Good) {
            ++unreadable;
            reporter.line(item.path + ": block " + std::to_string(first + b) + " of copy " +
                          std::to_string(c + 1) + " (disc block " + std::to_string(discBlock) +
                          ") " + media::ToText(status[c][b]) + ".");
            continue;
          }
          if (!reference) {
            reference = c;
          } else if (!std::equal(data[c].begin() + b * media::kBlockSize,
                                 data[c].begin() + (b + 1) * media::kBlockSize,
                                 data[*reference].begin() + b * media::kBlockSize)) {
            ++differing;
            reporter.line(item.path + ": block " + std::to_string(first + b) +
                          " differs between copy " + std::to_string(*reference + 1) + " and copy " +
                          std::to_string(c + 1) + " (disc blocks " +
                          std::to_string(std::uint64_t{copies[*reference]} + first + b) + " and " +
                          std::to_string(discBlock) + ").");
          }
        }
      }
    }
    progress.addFile();
  }
  progress.finish();
  whole = whole && unreadable == 0 && differing == 0;
  out << items.size() << " entries, " << blocksRead << " blocks read, " << unreadable
      << " unreadable, " << differing
      << " differing between copies: " << (whole ? "the disc is whole." : "the disc is damaged.")
      << '\n';
  return whole ? kExitOk : kExitFailed;
}

}  // namespace brindle::cli
