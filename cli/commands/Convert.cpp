// convert: the Opera volume's blocks written out as a plain 2048-byte image.
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
  bool quiet = false;
};

int Run(const Options& options) {
  Reporter reporter(std::cerr, !options.quiet && ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return ConvertToImage(*disc, options.source.image, options.source.arguments[0], reporter);
}

}  // namespace

RunCommand SetupConvert(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.description(
      "Write the Opera volume's 2048-byte blocks, from the first to the volume's last, as a "
      "plain image OUT (from any image, or a dump of a drive's disc). Unreadable blocks are "
      "written as zeros and listed; the exit status is then 1. Never writes over its input");
  options->source.addTo(command, "OUT", 1, 1);
  command.add_flag("-q,--quiet", options->quiet, "No progress meter");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
