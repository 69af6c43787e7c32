// The mount command: the disc named on the command line served as a read-only file system.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/Disc.h"

namespace brindle::cli {

struct MountRequest {
  std::string image;  // the image file the disc was opened from; empty for a drive
  std::string mountPoint;
  bool foreground = false;
};

// Mounts the disc until it is unmounted; messages go to err. Returns the exit status.
int RunMountCommand(const Disc& disc, const MountRequest& request, std::ostream& err);

}  // namespace brindle::cli
