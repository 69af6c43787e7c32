// verify: every block of every copy of every entry and directory read and compared.
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
  bool quiet = false;
};

int Run(const Options& options) {
  Reporter reporter(std::cerr, !options.quiet && ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return Verify(*disc, std::cout, reporter);
}

}  // namespace

RunCommand SetupVerify(CLI::App& command) {
  auto options = std::make_shared<Options>();
  options->source.addTo(command);
  command.add_flag("-q,--quiet", options->quiet, "No progress meter");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
