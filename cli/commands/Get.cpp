// get: one entry saved as a file, each block from the first copy that reads good.
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
  std::string entryPath;
  std::string outFile;
};

int Run(const Options& options) {
  Reporter reporter(std::cerr, ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return GetEntry(*disc, options.entryPath, options.outFile, reporter);
}

}  // namespace

RunCommand SetupGet(CLI::App& command) {
  auto options = std::make_shared<Options>();
  options->source.addTo(command);
  command
      .add_option("PATH", options->entryPath, "The entry: directories and its name, joined by '/'")
      ->required();
  command.add_option("OUTFILE", options->outFile, "The file to write (replaced if it exists)")
      ->required();
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
