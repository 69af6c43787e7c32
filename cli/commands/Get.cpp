// get: one entry saved as a file (or written to standard output), each block from the first
// copy that reads good.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/Command.h"
#include "cli/Extract.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "opera/EntryReader.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace brindle::cli {
namespace {

struct Options {
  SourceOptions source;
  bool quiet = false;
};

// The entry's bytes to standard output, as they are read: a pipe cannot be given its name once
// whole, so a damaged block is written as zeros and said so, with exit status 1.
int WriteToOutput(const Disc& disc, const std::string& path, Reporter& reporter) {
  const auto entry = FindEntry(*disc.volume, path, reporter.stream());
  if (!entry) return kExitFailed;
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  opera::EntryReader reader(*disc.device);
  opera::ReadReport report;
  std::vector<std::uint8_t> buffer(kChunk);
  // Only what lies on the disc is written: an entry claiming more costs no more than the disc.
  const std::uint64_t length = BytesOnDisc(*disc.device, *entry);
  Progress progress(reporter, 1, length);
  for (std::uint64_t at = 0; at < length;) {
    if (Interrupted()) return kExitInterrupted;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - at));
    const std::size_t got = reader.read(*entry, at, std::span(buffer).first(want), report);
    if (got != want || std::fwrite(buffer.data(), 1, want, stdout) != want) {
      progress.finish();
      reporter.line("\"" + path +
                    "\": the entry could not be written to standard output completely.");
      return kExitFailed;
    }
    progress.addBytes(want);
    at += want;
  }
  progress.finish();
  if (std::fflush(stdout) != 0) {
    reporter.line("\"" + path + "\": standard output could not be written.");
    return kExitFailed;
  }
  const std::string shownPath = "\"" + path + "\"";
  for (const std::string& line : RecoveredLines(shownPath, *entry, report)) reporter.line(line);
  const std::string what =
      DamagedText(report, BlocksHolding(length), BlocksHolding(entry->byteCount));
  if (what.empty()) return kExitOk;
  reporter.line(shownPath + ": damaged: " + what + "; " +
                (report.damaged.empty() ? "" : "zeros were written in their place") +
                (length < entry->byteCount
                     ? std::string(report.damaged.empty() ? "" : ", and ") + "the " +
                           std::to_string(length) + " bytes on the disc only were written"
                     : "") +
                ".");
  return kExitFailed;
}

int Run(const Options& options) {
  Reporter reporter(std::cerr, !options.quiet && ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  const std::string& path = options.source.arguments[0];
  const std::string& outFile = options.source.arguments[1];
  if (outFile == "-") return WriteToOutput(*disc, path, reporter);
  return GetEntry(*disc, path, outFile, reporter);
}

}  // namespace

RunCommand SetupGet(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.description(
      "Save one entry, named DIR/.../NAME, as OUTFILE (\"-\": standard output); a block "
      "unreadable in one copy is read from the next, and a file no copy of which can be read "
      "whole is written as OUTFILE.damaged");
  options->source.addTo(command, "PATH OUTFILE", 2, 2);
  command.add_flag("-q,--quiet", options->quiet, "No progress meter");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
