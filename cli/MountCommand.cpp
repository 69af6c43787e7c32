#include "cli/MountCommand.h"

#include <filesystem>
#include <ostream>

#include "cli/Session.h"
#include "mount/Mount.h"

namespace brindle::cli {

int RunMountCommand(const Disc& disc, const MountRequest& request, std::ostream& err) {
  mount::MountOptions options;
  options.mountPoint = request.mountPoint;
  options.foreground = request.foreground;
  // An image gives the nodes its time and the mount its name; a drive's label names the mount.
  if (!request.image.empty()) {
    options.imagePath = request.image;
    options.sourceName = std::filesystem::path(request.image).filename().string();
  } else {
    options.sourceName = disc.source;
  }
  return mount::RunMount(*disc.device, options, err) == 0 ? kExitOk : kExitFailed;
}

}  // namespace brindle::cli
