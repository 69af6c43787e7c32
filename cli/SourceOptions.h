// The options that choose where the disc is read from (--image FILE or --drive LETTER, and the
// transport), shared by every command that reads a disc, and opening the disc they name.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "cli/Disc.h"
#include "cli/DriveSide.h"

namespace CLI {
class App;
}

namespace brindle::cli {

struct SourceOptions {
  std::string image;
  std::string drive;
  TransportChoice transport = TransportChoice::Auto;

  // Registers --image, --drive and --transport on command; one of --image and --drive is then
  // required.
  void addTo(CLI::App& command);
  // Registers --transport alone (the drive list needs no disc).
  static void addTransport(CLI::App& command, TransportChoice& choice);
};

// Opens the disc the options name, through the Opera library (any container, or the drive read
// many blocks per command); tells err why not.
std::optional<Disc> OpenSourceDisc(const SourceOptions& source, std::ostream& err);

}  // namespace brindle::cli
