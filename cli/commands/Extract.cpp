// extract: the entries of a directory into a folder as the window writes them, or (-r) the
// whole tree below it as folders and files.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/Extract.h"
#include "cli/ExtractLayout.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "cli/Suggest.h"

namespace brindle::cli {
namespace {

struct Options {
  SourceOptions source;
  bool recursive = false;
  bool quiet = false;
  bool pictures = false;
  std::string layout;
};

int RunRecursive(const Options& options) {
  Reporter reporter(std::cerr, !options.quiet && ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  const std::vector<std::string>& args = options.source.arguments;
  const std::vector<std::string> dirs = DiscPathNames({args.begin() + 1, args.end()});
  const int status = ExtractRecursive(*disc, args[0], dirs, reporter, options.pictures);
  if (options.layout.empty()) return status;
  return std::max(status, WriteExtractLayout(*disc, dirs, options.layout, reporter));
}

int Run(const Options& options) {
  if (options.recursive) return RunRecursive(options);
  const auto window = WindowSource::Open(options.source, std::cerr);
  if (!window) return kExitFailed;
  const std::vector<std::string>& args = options.source.arguments;
  return window->session().extract(args[0], DiscPathNames({args.begin() + 1, args.end()}));
}

}  // namespace

RunCommand SetupExtract(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.description(
      "Copy every entry of the root, or of the directory DIR, into OUTDIR as the window does "
      "(-r: the whole tree below it as folders and files)");
  options->source.addTo(command, "OUTDIR [DIR...]", 1, kAny);
  command.add_flag(
      "-r,--recursive", options->recursive,
      "The whole tree, as folders and files. Unsafe names are skipped, names the host would "
      "merge get a suffix (~2), a block unreadable in one copy is read from the next, a file no "
      "copy of which can be read whole is written as NAME.damaged");
  command.add_flag("-q,--quiet", options->quiet, "No progress meter");
  command
      .add_option("--layout", options->layout,
                  "With -r: also write FILE (beside the tree, not in it), each entry's order, "
                  "type, id, flags and copies, from which pack --layout rebuilds the disc")
      ->needs(command.get_option("--recursive"));
  command
      .add_flag("--pictures", options->pictures,
                "With -r: also NAME.png beside each picture file (banner, IMAG, CEL)")
      ->needs(command.get_option("--recursive"));
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
