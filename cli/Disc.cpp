#include "cli/Disc.h"

#include <ostream>

#include "cli/DriveSide.h"
#include "cli/Suggest.h"
#include "media/Containers.h"
#include "media/DriveDevice.h"
#include "output/Names.h"

namespace brindle::cli {
namespace {

// The entry named name (UTF-8) in dir; nothing after telling err, with the nearest names, or
// why the directory could not be searched.
std::optional<opera::Entry> Lookup(const opera::Volume& volume, const opera::DirectoryRef& dir,
                                   const std::string& name, std::ostream& err) {
  const auto wanted = output::Utf8ToLatin1(name);
  opera::Directory listing = volume.readDirectory(dir);
  if (wanted) {
    for (opera::Entry& e : listing.entries)
      if (e.name == *wanted) return std::move(e);
  }
  if (!listing.problems.empty()) {
    const opera::BlockProblem& p = listing.problems.front();
    err << "\"" << name << "\" could not be looked up: block " << p.block
        << " of its directory could not be read ("
        << (p.fault ? opera::ToText(*p.fault) : media::ToText(p.status)) << ").\n";
    return std::nullopt;
  }
  err << "No entry named \"" << name << "\" on the disc.";
  std::vector<std::string> names;
  for (const opera::Entry& e : listing.entries) names.push_back(output::Latin1ToUtf8(e.name));
  const std::string hint = DidYouMean(name, names);
  err << (hint.empty() ? "" : " " + hint) << '\n';
  return std::nullopt;
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t slash; (slash = path.find('/', from)) != std::string::npos; from = slash + 1)
    if (slash > from) parts.push_back(path.substr(from, slash - from));
  if (from < path.size()) parts.push_back(path.substr(from));
  return parts;
}

}  // namespace

std::optional<Disc> OpenDisc(const std::string& image, DriveSide* drive, std::ostream& err) {
  Disc disc;
  if (drive != nullptr) {
    transport::ISCSI* transport = drive->transport();
    if (transport == nullptr || drive->selectedHandle().empty()) {
      err << "No drive is selected.\n";
      return std::nullopt;
    }
    disc.device = std::make_unique<media::DriveDevice>(*transport, drive->selectedHandle(),
                                                       drive->selectedLabel());
    disc.source = "drive " + output::Latin1ToUtf8(drive->selectedLabel().substr(0, 2));
  } else {
    media::MediaError error;
    disc.device = media::OpenContainer(image, error);
    if (!disc.device) {
      err << error.message << '\n';
      return std::nullopt;
    }
    disc.source = "\"" + image + "\"";
  }
  media::BlockStatus status{};
  disc.volume = opera::Volume::Open(*disc.device, status);
  if (!disc.volume) {
    if (status == media::BlockStatus::Good) {
      err << "The disc in " << disc.source << " is not formatted with the Opera file system.\n";
    } else {
      err << "Block 0 of " << disc.source << " could not be read (" << media::ToText(status)
          << ").\n";
    }
    return std::nullopt;
  }
  return disc;
}

std::optional<opera::DirectoryRef> FindDirectory(const opera::Volume& volume,
                                                 const std::vector<std::string>& names,
                                                 std::ostream& err) {
  opera::DirectoryRef dir = volume.root();
  for (const std::string& name : names) {
    for (const std::string& part : Split(name)) {
      const auto entry = Lookup(volume, dir, part, err);
      if (!entry) return std::nullopt;
      if (!entry->isDirectory()) {
        err << "\"" << part << "\" is not a directory.\n";
        return std::nullopt;
      }
      dir = opera::Volume::DirectoryOf(*entry);
    }
  }
  return dir;
}

std::optional<opera::Entry> FindEntry(const opera::Volume& volume, const std::string& path,
                                      std::ostream& err) {
  std::vector<std::string> parts = Split(path);
  if (parts.empty()) {
    err << "No entry named \"" << path << "\" on the disc.\n";
    return std::nullopt;
  }
  const std::string name = parts.back();
  parts.pop_back();
  const auto dir = FindDirectory(volume, parts, err);
  if (!dir) return std::nullopt;
  return Lookup(volume, *dir, name, err);
}

reader::DriveReader ContainerReader(media::BlockDevice& device, reader::ReaderWindow*& window) {
  return [&device, &window](std::int32_t lba, std::int16_t count) -> sector::SectorData {
    if (lba < 0 || count < 1) return {};
    sector::SectorData bytes(static_cast<std::size_t>(count) * media::kBlockSize);
    std::vector<media::BlockStatus> status(static_cast<std::size_t>(count));
    device.read(static_cast<std::uint64_t>(lba), std::span(bytes.data(), bytes.size()), status);
    for (std::size_t i = 0; i < status.size(); ++i) {
      if (status[i] == media::BlockStatus::Good) continue;
      if (window != nullptr)
        window->showError("Could not read block " + std::to_string(lba + i) + " of the image (" +
                          media::ToText(status[i]) + ").");
      return {};
    }
    return bytes;
  };
}

}  // namespace brindle::cli
