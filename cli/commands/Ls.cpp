// ls: the entry lines of a directory as the window shows them, or (--json) every field of every
// entry.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/Inspect.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "cli/Suggest.h"

namespace brindle::cli {
namespace {

const char* const kLsJsonShape =
    "--json prints one document (names are the UTF-8 text of the disc's Latin-1 bytes, numbers "
    "as stored):\n"
    "  {\"directory\": [names...], \"entries\": [ENTRY...],\n"
    "   \"problems\": [{\"block\": N, \"lastBlock\": M, \"problem\": TEXT}...]}\n"
    "  (each problem is a run of consecutive directory blocks, disc blocks N to M)\n"
    "  ENTRY: {\"name\", \"type\", \"directory\": bool, \"flags\", \"id\", \"blockSize\",\n"
    "   \"byteCount\", \"blockCount\", \"burst\", \"gap\", \"lastCopyIndex\",\n"
    "   \"copies\": [first block of each copy]}";

struct Options {
  SourceOptions source;
  bool json = false;
};

int RunJson(const Options& options) {
  Reporter reporter(std::cerr, ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return PrintDirectoryJson(*disc, DiscPathNames(options.source.arguments), std::cout, reporter);
}

int Run(const Options& options) {
  if (options.json) return RunJson(options);
  const auto window = WindowSource::Open(options.source, std::cerr);
  if (!window) return kExitFailed;
  return window->session().list(DiscPathNames(options.source.arguments), std::cout);
}

}  // namespace

RunCommand SetupLs(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.description(
      "Print the entry lines of the root, or of the directory DIR (Art/Icons, /Art/Icons and "
      "Art Icons all enter Art, then Icons), as the window shows them: name, type, size and "
      "first block in fixed columns");
  command.footer(kLsJsonShape);
  options->source.addTo(command, "[DIR...]", 0, kAny);
  command.add_flag("--json", options->json, "Every field of every entry, as JSON (shape below)");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
