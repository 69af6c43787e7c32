#include "cli/Extract.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "cli/DiscPicture.h"
#include "cli/Inspect.h"
#include "cli/Session.h"
#include "opera/EntryReader.h"
#include "opera/Walker.h"
#include "output/Folder.h"
#include "output/Names.h"
#include "sector/SectorData.h"

namespace brindle::cli {
namespace {

constexpr std::size_t kChunk = 1u << 20;  // bytes per read and write when not copied in-kernel

std::string Utf8(const std::string& latin1) {
  return output::Latin1ToUtf8(latin1);
}

// How the host compares names (UTF-8) within one folder: names equal here would become one
// file. Windows ignores letter case, also of the Latin-1 letters (U+00C0 to U+00DE but U+00D7,
// encoded C3 80 to C3 9E).
std::string MergeKey(const std::string& name) {
#ifdef _WIN32
  std::string key = name;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const auto u = static_cast<unsigned char>(key[i]);
    if (u >= 'A' && u <= 'Z') {
      key[i] = static_cast<char>(u + 32);
    } else if (u == 0xC3 && i + 1 < key.size()) {
      const auto next = static_cast<unsigned char>(key[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97) key[i + 1] = static_cast<char>(next + 32);
      ++i;
    }
  }
  return key;
#else
  return name;
#endif
}

enum class Outcome { Complete, Damaged, Failed, Interrupted };

// Runs listed in one message at most, the rest counted.
constexpr std::size_t kShownRuns = 20;

// The entry's blocks that lie on the disc in at least one copy, from its first.
std::uint64_t BlocksOnDisc(const media::BlockDevice& device, const opera::Entry& entry) {
  const std::uint64_t claimed = BlocksHolding(entry.byteCount);
  const std::uint64_t end = device.blockCount();
  std::uint64_t most = 0;
  for (const std::uint32_t first : entry.copies)
    if (first < end) most = std::max(most, std::min(claimed, end - first));
  return most;
}

// The copy buffer of the calling thread: one per worker for the whole run, rather than one
// allocated (and zeroed) for every file of a disc of many small files.
std::vector<std::uint8_t>& CopyBuffer() {
  thread_local std::vector<std::uint8_t> buffer(kChunk);
  return buffer;
}

// Writes one entry into folder as name: in the kernel where the device holds the blocks as a
// plain file, else through the entry reader. Tells reporter about recovered and damaged blocks.
Outcome WriteEntry(media::BlockDevice& device, const opera::Entry& entry,
                   const output::Folder& folder, const std::string& name,
                   const std::string& shownPath, Reporter& reporter, Progress& progress) {
  auto part = folder.createPart(name);
  if (!part) {
    reporter.line(shownPath + ": the file could not be created in \"" + folder.path() + "\".");
    return Outcome::Failed;
  }
  // Only the blocks that lie on the disc in some copy are written: an entry claiming more than
  // the disc holds costs no more than the disc, and the rest is reported as one range.
  const std::uint64_t claimed = entry.byteCount;
  const std::uint64_t claimedBlocks = BlocksHolding(claimed);
  const std::uint64_t length = BytesOnDisc(device, entry);
  const std::uint64_t blocks = BlocksHolding(length);
  std::uint64_t copied = 0;
  std::vector<std::uint8_t>& buffer = CopyBuffer();
  if (length > 0 && !entry.copies.empty()) {
    const auto range = device.fileRange(entry.copies[0], blocks);
    if (range && range->length >= length && range->offset % 4096 == 0) {
      // Page-aligned ranges go through the kernel.
      const auto result =
          output::CopyInKernel(range->handle, range->offset, part->file(), 0, length, copied);
      progress.addBytes(copied);
      if (result == output::KernelCopy::Failed) copied = 0;
    } else if (range && range->length >= length) {
      // A range that starts 2 KiB into a page copies faster through this process (measured:
      // the kernel's copy splits it page by page), read straight from the image file. A read
      // that fails or comes short leaves the rest to the entry reader, which tells what failed.
      while (copied < length) {
        if (Interrupted()) {
          part->discard();
          return Outcome::Interrupted;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - copied));
        const auto got =
            media::ReadSomeAt(range->handle, range->offset + copied, std::span(buffer).first(want));
        if (!got || *got != want) break;
        if (!part->file().writeAt(copied, std::span(buffer).first(want))) {
          reporter.line(shownPath + ": the file could not be written completely.");
          part->discard();
          return Outcome::Failed;
        }
        progress.addBytes(want);
        copied += want;
      }
    }
  }
  opera::ReadReport report;
  if (copied < length) {
    opera::EntryReader reader(device);
    for (std::uint64_t at = copied; at < length;) {
      if (Interrupted()) {
        part->discard();
        return Outcome::Interrupted;
      }
      const auto want =
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - at));
      const std::size_t got = reader.read(entry, at, std::span(buffer).first(want), report);
      if (got != want || !part->file().writeAt(at, std::span(buffer).first(want))) {
        reporter.line(shownPath + ": the file could not be written completely.");
        part->discard();
        return Outcome::Failed;
      }
      progress.addBytes(want);
      at += want;
    }
  }
  if (!part->file().resize(length)) {
    reporter.line(shownPath + ": the file could not be written completely.");
    return Outcome::Failed;
  }
  for (const std::string& line : RecoveredLines(shownPath, entry, report)) reporter.line(line);
  const bool anyDamaged = !report.damaged.empty();
  if (anyDamaged || length < claimed) {
    const std::string what = DamagedText(report, blocks, claimedBlocks);
    const std::string damagedName = DamagedName(name);
    const bool kept = part->commit(damagedName);
    reporter.line(shownPath + ": damaged: " + what + "; " +
                  (kept ? "written as \"" + damagedName + "\"" +
                              (anyDamaged ? " with zeros in their place" : "") +
                              (length < claimed
                                   ? ", the " + std::to_string(length) + " bytes on the disc only"
                                   : "") +
                              "."
                        : "the file could not be written."));
    return Outcome::Damaged;
  }
  if (!part->commit(name)) {
    reporter.line(shownPath + ": the file could not be given its name in \"" + folder.path() +
                  "\".");
    return Outcome::Failed;
  }
  return Outcome::Complete;
}

std::filesystem::path Native(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(Native(path), ec);
}

// Where a command that writes one file puts it, as cp does: into out when out is a folder,
// under name; else as out itself, in a folder that must exist. Nothing after telling reporter.
struct Target {
  output::Folder folder;
  std::string name;  // UTF-8
};
std::optional<Target> OutputTarget(const std::string& out, const std::string& name,
                                   Reporter& reporter) {
  if (IsFolder(out)) {
    auto folder = output::Folder::Existing(out);
    if (folder) return Target{std::move(*folder), name};
    reporter.line("The folder \"" + out + "\" cannot be written to.");
    return std::nullopt;
  }
  const std::filesystem::path target = Native(out);
  const auto parentPath = target.parent_path().u8string();
  const auto fileName = target.filename().u8string();
  if (fileName.empty()) {
    reporter.line("The folder \"" + out + "\" does not exist.");
    return std::nullopt;
  }
  auto folder = output::Folder::Existing(
      parentPath.empty() ? "." : std::string(parentPath.begin(), parentPath.end()));
  if (!folder) {
    reporter.line("\"" + out + "\" could not be written: its folder does not exist.");
    return std::nullopt;
  }
  return Target{std::move(*folder), std::string(fileName.begin(), fileName.end())};
}

struct Job {
  std::size_t index;  // in the walk
  const output::Folder* folder;
  std::string name;  // on the host, UTF-8
};

}  // namespace

std::vector<std::string> RecoveredLines(const std::string& shownPath, const opera::Entry& entry,
                                        const opera::ReadReport& report) {
  std::map<std::uint32_t, std::vector<BlockRun>> recovered;  // by the copy read from
  for (const auto& r : report.recovered) AddBlock(recovered[r.copy], r.index);
  std::vector<std::string> lines;
  for (const auto& [copy, runs] : recovered) {
    lines.push_back(shownPath + ": " +
                    (runs.size() == 1 && runs[0].first == runs[0].last
                         ? "block " + RunText(runs[0]) + " (disc block " +
                               std::to_string(entry.copies[0] + runs[0].first) + ")"
                         : "blocks " + RunsText(runs, kShownRuns)) +
                    " could not be read from copy 1; read from copy " + std::to_string(copy + 1) +
                    ".");
  }
  return lines;
}

std::string DamagedText(const opera::ReadReport& report, std::uint64_t firstPast,
                        std::uint64_t claimedBlocks) {
  std::vector<BlockRun> damaged;
  for (const auto& d : report.damaged) AddBlock(damaged, d.index);
  std::string what;
  if (damaged.size() == 1 && damaged[0].first == damaged[0].last) {
    const auto& d = report.damaged.front();
    what = "no copy of block " + std::to_string(d.index) + " (disc block " +
           std::to_string(d.block) + ", " + media::ToText(d.status) + ") could be read";
  } else if (!damaged.empty()) {
    what = "no copy of blocks " + RunsText(damaged, kShownRuns) + " could be read";
  }
  if (firstPast < claimedBlocks) {
    const BlockRun past{firstPast, claimedBlocks - 1};
    what += std::string(what.empty() ? "" : "; ") +
            (past.first == past.last ? "block " : "blocks ") + RunText(past) +
            (past.first == past.last ? " lies" : " lie") + " past the end of the disc";
  }
  return what;
}

std::uint64_t BytesOnDisc(const media::BlockDevice& device, const opera::Entry& entry) {
  return std::min<std::uint64_t>(entry.byteCount, BlocksOnDisc(device, entry) * media::kBlockSize);
}

std::string DamagedName(const std::string& name) {
  return name + ".damaged";
}

int ExtractRecursive(const Disc& disc, const std::string& outDir,
                     const std::vector<std::string>& dirs, Reporter& reporter, bool pictures) {
  const auto start = FindDirectory(*disc.volume, dirs, reporter.stream());
  if (!start) return kExitFailed;
  const opera::Tree tree = opera::Walk(*disc.volume, *start);
  ReportWalk(tree, reporter);
  bool whole = tree.problems.empty();

  const auto root = output::Folder::Make(outDir);
  if (!root) {
    reporter.line("The folder \"" + outDir + "\" could not be created.");
    return kExitFailed;
  }
  // Folders first, in walk order, so every file has its folder before any copy starts.
  std::vector<std::optional<output::Folder>> folders(tree.entries.size());
  std::map<const output::Folder*, std::set<std::string>> used;
  std::vector<Job> jobs;
  std::uint64_t totalBytes = 0;
  for (std::size_t i = 0; i < tree.entries.size(); ++i) {
    const opera::WalkedEntry& w = tree.entries[i];
    const output::Folder* parent =
        w.parent < 0 ? &*root : (folders[w.parent] ? &*folders[w.parent] : nullptr);
    if (parent == nullptr) continue;  // its folder was reported already
    const std::string shown = Utf8(w.path);
    if (!output::IsSafeFileName(w.entry.name)) {
      reporter.line("\"" + shown + "\": skipped: the name cannot be a file name here.");
      whole = false;
      continue;
    }
    std::string name = Utf8(w.entry.name);
    auto& taken = used[parent];
    if (taken.count(MergeKey(name))) {
      std::string other;
      for (int n = 2; taken.count(MergeKey(other = name + "~" + std::to_string(n))); ++n) {
      }
      reporter.line("\"" + shown +
                    "\": another entry here has the same name on this host; written as \"" + other +
                    "\".");
      name = other;
    }
    taken.insert(MergeKey(name));
    if (w.entry.isDirectory()) {
      folders[i] = parent->subfolder(name);
      if (!folders[i]) {
        reporter.line("\"" + shown +
                      "\": the folder could not be made; everything in it is missing.");
        whole = false;
      }
    } else {
      jobs.push_back({i, parent, name});
      totalBytes += std::min<std::uint64_t>(
          w.entry.byteCount, BlocksOnDisc(*disc.device, w.entry) * media::kBlockSize);
    }
  }

  // Several workers take the files in the order their blocks lie on the disc, so the device is
  // read forward as one sweep (a CHD decodes each hunk once and ahead of the reader); the walk's
  // order jumps about the disc. A drive's one reader keeps the walk's order.
  if (!disc.device->serial()) {
    const auto firstBlock = [&](const Job& job) {
      const auto& copies = tree.entries[job.index].entry.copies;
      return copies.empty() ? std::uint64_t{0} : std::uint64_t{copies[0]};
    };
    std::stable_sort(jobs.begin(), jobs.end(),
                     [&](const Job& a, const Job& b) { return firstBlock(a) < firstBlock(b); });
  }
  Progress progress(reporter, jobs.size(), totalBytes);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> allComplete{true};
  std::atomic<bool> stopped{false};
  auto work = [&] {
    for (std::size_t j; (j = next++) < jobs.size();) {
      if (Interrupted()) {
        stopped = true;
        return;
      }
      const Job& job = jobs[j];
      const opera::WalkedEntry& w = tree.entries[job.index];
      const Outcome outcome = WriteEntry(*disc.device, w.entry, *job.folder, job.name,
                                         "\"" + Utf8(w.path) + "\"", reporter, progress);
      if (outcome == Outcome::Interrupted) stopped = true;
      if (outcome != Outcome::Complete) allComplete = false;
      if (pictures && outcome == Outcome::Complete &&
          !WritePictureBeside(*disc.device, w.entry, *job.folder, job.name,
                              "\"" + Utf8(w.path) + "\"", reporter))
        allComplete = false;
      progress.addFile();
    }
  };
  // Several files at once from a container on a file; a drive reads one command at a time.
  const unsigned threads =
      disc.device->serial() ? 1u : std::clamp(std::thread::hardware_concurrency(), 2u, 8u);
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  progress.finish();
  if (stopped) {
    reporter.line("Interrupted: the files not yet complete were removed.");
    return kExitInterrupted;
  }
  return whole && allComplete ? kExitOk : kExitFailed;
}

int GetEntry(const Disc& disc, const std::string& path, const std::string& outFile,
             Reporter& reporter) {
  const auto entry = FindEntry(*disc.volume, path, reporter.stream());
  if (!entry) return kExitFailed;
  if (!output::IsSafeFileName(entry->name) && IsFolder(outFile)) {
    reporter.line("\"" + path + "\" cannot be a file name here; name the file to write.");
    return kExitFailed;
  }
  const auto target = OutputTarget(outFile, Utf8(entry->name), reporter);
  if (!target) return kExitFailed;
  Progress progress(reporter, 1, BytesOnDisc(*disc.device, *entry));
  const Outcome outcome = WriteEntry(*disc.device, *entry, target->folder, target->name,
                                     "\"" + path + "\"", reporter, progress);
  progress.finish();
  if (outcome == Outcome::Interrupted) return kExitInterrupted;
  return outcome == Outcome::Complete ? kExitOk : kExitFailed;
}

}  // namespace brindle::cli

namespace brindle::cli {

int ConvertToImage(const Disc& disc, const std::string& inputPath, const std::string& outFile,
                   Reporter& reporter) {
  std::error_code ec;
  if (!inputPath.empty() && std::filesystem::equivalent(Native(inputPath), Native(outFile), ec)) {
    reporter.line("\"" + outFile + "\" is the image being read; it is never written over.");
    return kExitFailed;
  }
  // Into a folder: the image's own name as a plain image, or the volume's label for a drive.
  std::string name;
  if (!inputPath.empty()) {
    const auto stem = Native(inputPath).stem().u8string();
    name = std::string(stem.begin(), stem.end()) + ".iso";
  } else {
    const std::string& label = disc.volume->label().label;
    name = (output::IsSafeFileName(label) ? Utf8(label) : std::string("disc")) + ".iso";
  }
  const auto target = OutputTarget(outFile, name, reporter);
  if (!target) return kExitFailed;
  const std::filesystem::path written =
      IsFolder(outFile) ? Native(outFile) / Native(name) : Native(outFile);
  if (!inputPath.empty() && std::filesystem::equivalent(Native(inputPath), written, ec)) {
    reporter.line("\"" + written.string() +
                  "\" is the image being read; it is never written over.");
    return kExitFailed;
  }
  auto part = target->folder.createPart(target->name);
  if (!part) {
    reporter.line("\"" + outFile + "\" could not be created.");
    return kExitFailed;
  }
  // The volume's blocks that the disc holds: a label claiming more writes no more than the disc.
  const std::uint64_t claimedBlocks = disc.volume->label().blockCount;
  const std::uint64_t blocks = std::min<std::uint64_t>(claimedBlocks, disc.device->blockCount());
  // The next run is read on a thread of its own while this one is written, so that a drive's
  // commands and the file's writes overlap (as the kernel's read-ahead overlaps them for a copy
  // of the drive's block device). Runs of 1 MiB keep the thread's start a small share of a run.
  static constexpr std::uint64_t kRun = 512;
  // Page-aligned, so that a drive transfers straight into them.
  struct Run {
    sector::SectorData data = sector::SectorData(kRun * media::kBlockSize);
    std::vector<media::BlockStatus> status = std::vector<media::BlockStatus>(kRun);
  };
  std::array<Run, 2> runs;
  const auto readRun = [&disc, &runs, blocks](std::size_t slot, std::uint64_t first) {
    const std::uint64_t count = std::min(kRun, blocks - first);
    disc.device->read(first, std::span(runs[slot].data.data(), count * media::kBlockSize),
                      std::span(runs[slot].status).first(count));
  };
  std::vector<std::pair<std::uint64_t, std::uint64_t>> bad;  // runs of unreadable blocks
  Progress progress(reporter, 1, blocks * media::kBlockSize, Progress::Count::Blocks);
  // Declared after the runs: a return while the next run is being read waits for it.
  std::future<void> ahead;
  if (blocks > 0) ahead = std::async(std::launch::async, readRun, 0, 0);
  for (std::uint64_t first = 0, slot = 0; first < blocks; first += kRun, slot ^= 1) {
    ahead.get();
    if (Interrupted()) {
      progress.finish();
      part->discard();
      reporter.line("Interrupted: nothing was written to \"" + outFile + "\".");
      return kExitInterrupted;
    }
    if (first + kRun < blocks)
      ahead = std::async(std::launch::async, readRun, slot ^ 1, first + kRun);
    const std::uint64_t run = std::min(kRun, blocks - first);
    const Run& current = runs[slot];
    for (std::uint64_t b = 0; b < run; ++b) {
      if (current.status[b] == media::BlockStatus::Good) continue;
      if (!bad.empty() && bad.back().second == first + b) {
        ++bad.back().second;
      } else {
        bad.emplace_back(first + b, first + b + 1);
      }
    }
    if (!part->file().writeAt(first * media::kBlockSize,
                              current.data.bytes().first(run * media::kBlockSize))) {
      if (ahead.valid()) ahead.wait();
      progress.finish();
      reporter.line("\"" + outFile + "\" could not be written completely.");
      return kExitFailed;
    }
    progress.addBytes(run * media::kBlockSize);
  }
  progress.finish();
  if (!part->commit(target->name)) {
    reporter.line("\"" + outFile + "\" could not be written completely.");
    return kExitFailed;
  }
  for (std::size_t i = 0; i < bad.size() && i < kShownRuns; ++i) {
    const auto& [from, to] = bad[i];
    reporter.line(to - from == 1
                      ? "Block " + std::to_string(from) + " could not be read; written as zeros."
                      : "Blocks " + std::to_string(from) + " to " + std::to_string(to - 1) +
                            " could not be read; written as zeros.");
  }
  if (bad.size() > kShownRuns)
    reporter.line("And " + std::to_string(bad.size() - kShownRuns) +
                  " more runs of blocks could not be read; written as zeros.");
  if (blocks < claimedBlocks) {
    reporter.line((claimedBlocks - blocks == 1 ? "Block " : "Blocks ") +
                  RunText({blocks, claimedBlocks - 1}) +
                  " of the volume lie past the end of the disc; the image holds the " +
                  std::to_string(blocks) + " blocks before them.");
    return kExitFailed;
  }
  return bad.empty() ? kExitOk : kExitFailed;
}

}  // namespace brindle::cli
