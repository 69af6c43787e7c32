// Mounting a disc as a read-only file system (FUSE 3) until it is unmounted.
#pragma once

#include <iosfwd>
#include <string>

#include "media/BlockDevice.h"

namespace brindle::mount {

struct MountOptions {
  std::string mountPoint;
  bool foreground = false;  // otherwise the process detaches once the mount is in place
  // The image file the device reads, for the nodes' times and the mount's source name; empty
  // for a drive (the nodes then carry the mount time).
  std::string imagePath;
  std::string sourceName;  // shown as the mount's source ("disc.iso", "drive D:")
};

// Walks the volume on device, mounts it on options.mountPoint and serves it until it is
// unmounted (fusermount3 -u, or SIGINT, SIGTERM or SIGHUP to this process). What the walk left
// out and any failure go to err. Returns 0 after a clean unmount, 1 when the volume cannot be
// read or the mount cannot be made.
int RunMount(media::BlockDevice& device, const MountOptions& options, std::ostream& err);

}  // namespace brindle::mount
