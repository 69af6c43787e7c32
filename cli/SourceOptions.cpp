#include "cli/SourceOptions.h"

#include <CLI/CLI.hpp>
#include <map>
#include <ostream>

#include "media/Containers.h"
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

std::unique_ptr<WindowSource> WindowSource::Open(const SourceOptions& source, std::ostream& err) {
  std::unique_ptr<WindowSource> window(new WindowSource);
  Source from;
  if (!source.image.empty()) {
    from.kind = reader::SectorSource::Image;
    from.imagePath = source.image;
    // A container other than the plain image reaches the window's commands block by block, as a
    // drive does.
    media::MediaError error;
    window->container_ = media::OpenContainer(source.image, error);
    if (window->container_ && !media::IsPlainImage(*window->container_)) {
      window->fromContainer_ = true;
      from.kind = reader::SectorSource::Drive;
      from.driveLabel = "  " + window->container_->describe();
      from.readDrive = ContainerReader(*window->container_, window->containerWindow_);
    }
  } else {
    window->side_ = std::make_unique<DriveSide>(platform::MakeSystemOs(), source.transport, err);
    if (!window->side_->build()) return nullptr;
    if (!window->side_->select(source.drive)) {
      err << "No drive " << source.drive << " in the drive list.\n";
      return nullptr;
    }
    from.kind = reader::SectorSource::Drive;
    from.driveLabel = window->side_->selectedLabel();
    from.readDrive = [drive = window->side_.get()](std::int32_t lba, std::int16_t count) {
      return drive->read(lba, count);
    };
  }
  window->session_.emplace(std::move(from), err);
  window->containerWindow_ = &window->session_->window();
  if (window->side_) window->side_->setWindow(&window->session_->window());
  return window;
}

}  // namespace brindle::cli
