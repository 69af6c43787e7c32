#include "cli/SourceOptions.h"

#include <CLI/CLI.hpp>
#include <map>
#include <ostream>

#include "platform/Os.h"

namespace brindle::cli {
namespace {

const std::map<std::string, TransportChoice> kTransports{
    {"auto", TransportChoice::Auto},
    {"spti", TransportChoice::Spti},
    {"aspi", TransportChoice::Aspi},
};

}  // namespace

void SourceOptions::addTransport(CLI::App& command, TransportChoice& choice) {
  command
      .add_option_function<std::string>(
          "--transport", [&choice](const std::string& name) { choice = kTransports.at(name); },
          "How drives are reached: auto (the pass-through, else the ASPI library), spti or "
          "aspi")
      ->check(CLI::IsMember({"auto", "spti", "aspi"}));
}

void SourceOptions::addTo(CLI::App& command) {
  CLI::Option* imageOption = command.add_option(
      "--image", image,
      "Disc image: 2048-byte sectors, raw 2352/2448-byte sectors, a CUE sheet or a CHD file "
      "(found by content)");
  CLI::Option* driveOption = command.add_option(
      "--drive", drive, "Drive letter as the drive list shows it (see the drives command)");
  imageOption->excludes(driveOption);
  // One of the two is required; CLI11 counts positional arguments among the options, so the
  // check is made on the values after parsing.
  command.final_callback([this] {
    if (image.empty() && drive.empty()) {
      throw CLI::RequiredError("One of --image FILE and --drive LETTER");
    }
  });
  addTransport(command, transport);
}

std::optional<Disc> OpenSourceDisc(const SourceOptions& source, std::ostream& err) {
  if (!source.image.empty()) return OpenDisc(source.image, nullptr, err);
  auto side = std::make_shared<DriveSide>(platform::MakeSystemOs(), source.transport, err);
  if (!side->build()) return std::nullopt;
  if (!side->select(source.drive)) {
    err << "No drive " << source.drive << " in the drive list.\n";
    return std::nullopt;
  }
  auto disc = OpenDisc(source.image, side.get(), err);
  if (disc) disc->drive = std::move(side);
  return disc;
}

}  // namespace brindle::cli
