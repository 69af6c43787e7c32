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
  std::string outFile;
  bool quiet = false;
};

int Run(const Options& options) {
  Reporter reporter(std::cerr, !options.quiet && ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return ConvertToImage(*disc, options.source.image, options.outFile, reporter);
}

}  // namespace

RunCommand SetupConvert(CLI::App& command) {
  auto options = std::make_shared<Options>();
  options->source.addTo(command);
  command.add_option("OUT", options->outFile, "The image to write (replaced once complete)")
      ->required();
  command.add_flag("-q,--quiet", options->quiet, "No progress meter");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
