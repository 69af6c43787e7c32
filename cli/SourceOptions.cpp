#include "cli/SourceOptions.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
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

// Why the image file cannot be read at all, in the system's words, naming it as it was typed;
// empty when it can be opened.
std::string ImageProblem(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path native(std::u8string(path.begin(), path.end()));
  if (std::filesystem::is_directory(native, ec))
    return "\"" + path + "\": " + std::make_error_code(std::errc::is_a_directory).message() + ".";
#ifndef _WIN32
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "\"" + path + "\": " + std::strerror(errno) + ".";
  std::fclose(file);
#endif
  return {};
}

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
      "-i,--image", image,
      "Disc image: 2048-byte sectors, raw 2352/2448-byte sectors, a CUE sheet or a CHD file "
      "(found by content)");
  CLI::Option* driveOption = command.add_option(
      "-d,--drive", drive,
      "The drive: its letter as the drives command lists it, or its device (/dev/sr0)");
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

void SourceOptions::addTo(CLI::App& command, const std::string& usage, std::size_t least,
                          std::size_t most) {
  addTo(command);
  const std::string shown = "[IMAGE]" + (usage.empty() ? "" : " " + usage);
  command
      .add_option("ARGUMENTS", arguments,
                  "The disc image, unless --image or --drive names the source" +
                      (usage.empty() ? std::string() : "; then " + usage))
      ->type_name(shown);
  command.final_callback([this, &command, usage, shown, least, most] {
    const bool named = !image.empty() || !drive.empty();
    if (!named) {
      if (arguments.empty())
        throw CLI::RequiredError("The image (" + command.get_name() + " IMAGE" +
                                 (usage.empty() ? "" : " " + usage) + ", or --image FILE)" +
                                 " or --drive DRIVE");
      image = arguments.front();
      arguments.erase(arguments.begin());
    } else if (!arguments.empty()) {
      // A file on this machine where a name on the disc is expected could be meant either way.
      std::error_code ec;
      const std::size_t start = usage.find_first_not_of('[');
      const std::string role = start == std::string::npos ? "" : usage.substr(start);
      if (role.rfind("DIR", 0) == 0 || role.rfind("PATH", 0) == 0) {
        if (std::filesystem::is_regular_file(
                std::filesystem::path(std::u8string(arguments[0].begin(), arguments[0].end())), ec))
          std::cerr << "\"" << arguments[0] << "\" is read as a name on the disc, since "
                    << (image.empty() ? "--drive" : "--image") << " names the disc.\n";
      }
    }
    if (arguments.size() < least || arguments.size() > most)
      throw CLI::ValidationError(command.get_name() + " takes " + shown + " (" +
                                 std::to_string(arguments.size() + (named ? 0 : 1)) +
                                 " given after the command)");
  });
}

std::optional<SourceDevice> OpenSourceDevice(const SourceOptions& source, std::ostream& err) {
  SourceDevice opened;
  if (!source.image.empty()) {
    media::MediaError error;
    opened.image = media::OpenContainer(source.image, error);
    if (!opened.image) {
      err << error.message << '\n';
      return std::nullopt;
    }
  } else {
    opened.disc = OpenSourceDisc(source, err);
    if (!opened.disc) return std::nullopt;
  }
  return opened;
}

std::optional<Disc> OpenSourceDisc(const SourceOptions& source, std::ostream& err) {
  if (!source.image.empty()) {
    if (const std::string problem = ImageProblem(source.image); !problem.empty()) {
      err << problem << '\n';
      return std::nullopt;
    }
    return OpenDisc(source.image, nullptr, err);
  }
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
    // What is wrong with the file or the container comes first; the window's own reading
    // follows.
    if (const std::string problem = ImageProblem(source.image); !problem.empty()) {
      err << problem << '\n';
    } else {
      window->container_ = media::OpenContainer(source.image, error);
      if (!window->container_) err << error.message << '\n';
    }
    if (window->container_ && !window->container_->isPlainBlockFile()) {
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
