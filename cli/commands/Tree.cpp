// tree: every path below the root or a directory, one a line.
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

struct Options {
  SourceOptions source;
};

int Run(const Options& options) {
  Reporter reporter(std::cerr, ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return PrintTree(*disc, DiscPathNames(options.source.arguments), std::cout, reporter);
}

}  // namespace

RunCommand SetupTree(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.description(
      "Print every path below the root (or DIR), one a line, directories ending in /");
  options->source.addTo(command, "[DIR...]", 0, kAny);
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
