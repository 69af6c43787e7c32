#include "cli/Extract.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include "cli/DiscPicture.h"

#include "cli/DiscPicture.h"
#include "cli/Inspect.h"
#include "cli/Session.h"
#include "opera/EntryReader.h"
#include "opera/Walker.h"
#include "output/Folder.h"
#include "output/Names.h"

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
  const std::uint64_t length = entry.byteCount;
  const std::uint64_t blocks = (length + media::kBlockSize - 1) / media::kBlockSize;
  std::uint64_t copied = 0;
  if (length > 0 && !entry.copies.empty()) {
    // Page-aligned ranges go through the kernel; a range that starts 2 KiB into a page copies
    // faster through this process (measured: the kernel's copy splits it page by page).
    const auto range = device.fileRange(entry.copies[0], blocks);
    if (range && range->length >= length && range->offset % 4096 == 0) {
      const auto result =
          output::CopyInKernel(range->handle, range->offset, part->file(), 0, length, copied);
      progress.addBytes(copied);
      if (result == output::KernelCopy::Failed) copied = 0;
    }
  }
  opera::ReadReport report;
  if (copied < length) {
    opera::EntryReader reader(device);
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length)));
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
  for (const auto& r : report.recovered) {
    reporter.line(shownPath + ": block " + std::to_string(r.index) + " (disc block " +
                  std::to_string(entry.copies[0] + r.index) +
                  ") could not be read from copy 1; read from copy " + std::to_string(r.copy + 1) +
                  ".");
  }
  if (!report.damaged.empty()) {
    std::string blocksText;
    for (const auto& d : report.damaged)
      blocksText += (blocksText.empty() ? "" : ", ") + std::to_string(d.index) + " (disc block " +
                    std::to_string(d.block) + ", " + media::ToText(d.status) + ")";
    const std::string damagedName = DamagedName(name);
    const bool kept = part->commit(damagedName);
    reporter.line(shownPath + ": damaged: no copy of block" +
                  (report.damaged.size() > 1 ? "s " : " ") + blocksText + " could be read; " +
                  (kept ? "written as \"" + damagedName + "\" with zeros in their place."
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

struct Job {
  std::size_t index;  // in the walk
  const output::Folder* folder;
  std::string name;  // on the host, UTF-8
};

}  // namespace

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
      totalBytes += w.entry.byteCount;
    }
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
  const std::filesystem::path target(std::u8string(outFile.begin(), outFile.end()));
  const auto parentPath = target.parent_path().u8string();
  const auto fileName = target.filename().u8string();
  const auto folder = output::Folder::Existing(
      parentPath.empty() ? "." : std::string(parentPath.begin(), parentPath.end()));
  if (!folder || fileName.empty()) {
    reporter.line("\"" + outFile + "\" could not be written: its folder does not exist.");
    return kExitFailed;
  }
  Progress progress(reporter, 1, entry->byteCount);
  const Outcome outcome =
      WriteEntry(*disc.device, *entry, *folder, std::string(fileName.begin(), fileName.end()),
                 "\"" + path + "\"", reporter, progress);
  progress.finish();
  if (outcome == Outcome::Interrupted) return kExitInterrupted;
  return outcome == Outcome::Complete ? kExitOk : kExitFailed;
}

}  // namespace brindle::cli

namespace brindle::cli {

int ConvertToImage(const Disc& disc, const std::string& inputPath, const std::string& outFile,
                   Reporter& reporter) {
  const auto native = [](const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
  };
  std::error_code ec;
  if (!inputPath.empty() && std::filesystem::equivalent(native(inputPath), native(outFile), ec)) {
    reporter.line("\"" + outFile + "\" is the image being read; it is never written over.");
    return kExitFailed;
  }
  const auto target = native(outFile);
  const auto parent = target.parent_path().u8string();
  const auto name = target.filename().u8string();
  const auto folder =
      output::Folder::Existing(parent.empty() ? "." : std::string(parent.begin(), parent.end()));
  auto part = folder && !name.empty() ? folder->createPart(std::string(name.begin(), name.end()))
                                      : std::nullopt;
  if (!part) {
    reporter.line("\"" + outFile + "\" could not be created.");
    return kExitFailed;
  }
  const std::uint64_t blocks = disc.volume->label().blockCount;
  constexpr std::uint64_t kRun = 64;
  std::vector<std::uint8_t> data(kRun * media::kBlockSize);
  std::vector<media::BlockStatus> status(kRun);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> bad;  // runs of unreadable blocks
  Progress progress(reporter, 1, blocks * media::kBlockSize);
  for (std::uint64_t first = 0; first < blocks; first += kRun) {
    if (Interrupted()) {
      progress.finish();
      part->discard();
      reporter.line("Interrupted: nothing was written to \"" + outFile + "\".");
      return kExitInterrupted;
    }
    const std::uint64_t run = std::min(kRun, blocks - first);
    disc.device->read(first, std::span(data).first(run * media::kBlockSize),
                      std::span(status).first(run));
    for (std::uint64_t b = 0; b < run; ++b) {
      if (status[b] == media::BlockStatus::Good) continue;
      if (!bad.empty() && bad.back().second == first + b) {
        ++bad.back().second;
      } else {
        bad.emplace_back(first + b, first + b + 1);
      }
    }
    if (!part->file().writeAt(first * media::kBlockSize,
                              std::span(data).first(run * media::kBlockSize))) {
      progress.finish();
      reporter.line("\"" + outFile + "\" could not be written completely.");
      return kExitFailed;
    }
    progress.addBytes(run * media::kBlockSize);
  }
  progress.finish();
  if (!part->commit(std::string(name.begin(), name.end()))) {
    reporter.line("\"" + outFile + "\" could not be written completely.");
    return kExitFailed;
  }
  for (const auto& [from, to] : bad) {
    reporter.line(to - from == 1
                      ? "Block " + std::to_string(from) + " could not be read; written as zeros."
                      : "Blocks " + std::to_string(from) + " to " + std::to_string(to - 1) +
                            " could not be read; written as zeros.");
  }
  return bad.empty() ? kExitOk : kExitFailed;
}

}  // namespace brindle::cli
