// The disc as the whole-disc commands see it: a block device (any container, or a drive read
// many blocks per command) with its Opera volume, and the directory a command starts from.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/BlockDevice.h"
#include "opera/Volume.h"
#include "reader/ReaderWindow.h"

namespace brindle::cli {

class DriveSide;

struct Disc {
  // The drive side a drive's device reads through, kept alive as long as the device (declared
  // first, so it goes last); empty for an image.
  std::shared_ptr<DriveSide> drive;
  std::unique_ptr<media::BlockDevice> device;
  std::optional<opera::Volume> volume;
  std::string source;  // the image path or the drive's label, for messages
};

// Opens the image (any container) or, with drive set, the selected drive; tells err why not.
std::optional<Disc> OpenDisc(const std::string& image, DriveSide* drive, std::ostream& err);

// The directory reached from the root by entering each name (UTF-8) in turn, or the root when
// names is empty; tells err and gives nothing when one is missing or not a directory.
std::optional<opera::DirectoryRef> FindDirectory(const opera::Volume& volume,
                                                 const std::vector<std::string>& names,
                                                 std::ostream& err);

// The entry at path (directories and its name joined by '/'), or nothing after telling err.
std::optional<opera::Entry> FindEntry(const opera::Volume& volume, const std::string& path,
                                      std::ostream& err);

// The window's own commands on a container other than the plain image: its blocks as the drive
// sector reader delivers them, and one message through window per block that cannot be read.
reader::DriveReader ContainerReader(media::BlockDevice& device, reader::ReaderWindow*& window);

}  // namespace brindle::cli
