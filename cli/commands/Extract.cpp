// extract: the entries of a directory into a folder as the window writes them, or (-r) the
// whole tree below it as folders and files.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/Extract.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"

namespace brindle::cli {
namespace {

struct Options {
  SourceOptions source;
  std::string outDir;
  std::vector<std::string> directories;
  bool recursive = false;
  bool quiet = false;
  bool pictures = false;
};

int RunRecursive(const Options& options) {
  Reporter reporter(std::cerr, !options.quiet && ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return ExtractRecursive(*disc, options.outDir, options.directories, reporter, options.pictures);
}

int Run(const Options& options) {
  if (options.recursive) return RunRecursive(options);
  const auto window = WindowSource::Open(options.source, std::cerr);
  if (!window) return kExitFailed;
  return window->session().extract(options.outDir, options.directories);
}

}  // namespace

RunCommand SetupExtract(CLI::App& command) {
  auto options = std::make_shared<Options>();
  options->source.addTo(command);
  command.add_flag(
      "-r,--recursive", options->recursive,
      "The whole tree, as folders and files. Unsafe names are skipped, names the host would "
      "merge get a suffix (~2), a block unreadable in one copy is read from the next, a file no "
      "copy of which can be read whole is written as NAME.damaged");
  command.add_flag("-q,--quiet", options->quiet, "No progress meter");
  command
      .add_flag("--pictures", options->pictures,
                "With -r: also NAME.png beside each picture file (banner, IMAG, CEL)")
      ->needs(command.get_option("--recursive"));
  command
      .add_option("OUTDIR", options->outDir, "Folder to write the files to (created if missing)")
      ->required();
  command.add_option("DIR", options->directories, "Directory to enter first, in order");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
