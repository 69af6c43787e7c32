// tree: every path below the root or a directory, one a line.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/Inspect.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"

namespace brindle::cli {
namespace {

struct Options {
  SourceOptions source;
  std::vector<std::string> directories;
};

int Run(const Options& options) {
  Reporter reporter(std::cerr, ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return PrintTree(*disc, options.directories, std::cout, reporter);
}

}  // namespace

RunCommand SetupTree(CLI::App& command) {
  auto options = std::make_shared<Options>();
  options->source.addTo(command);
  command.add_option("DIR", options->directories, "Directory to start from, entered in order");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
