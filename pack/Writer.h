// Writing a planned volume as a plain image of 2048-byte blocks. The image is written under a
// temporary name beside OUT and takes its name only once complete; file contents are streamed
// (copied by the kernel from host files where it can), so memory does not grow with file sizes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/BlockDevice.h"
#include "pack/Plan.h"

namespace brindle::pack {

struct WriteHooks {
  std::function<bool()> interrupted;            // checked between files and chunks
  std::function<void(std::uint64_t)> addBytes;  // file bytes written so far, as they go
  std::function<void()> addFile;
};

struct WriteResult {
  bool written = false;      // the image has its name
  bool interrupted = false;  // stopped on request; nothing was left behind
  // Every text is UTF-8.
  std::vector<std::string> problems;  // why it was not written
  // Files from a disc some of whose blocks no copy could give: written with zeros there.
  std::vector<std::string> damaged;
  // Files from a disc some of whose blocks came from another copy than the first.
  std::vector<std::string> recovered;
};

// Writes plan to out. Files from a disc are read from source (required when any are).
WriteResult WriteVolume(const Plan& plan, const std::string& out, media::BlockDevice* source,
                        const WriteHooks& hooks = {});

}  // namespace brindle::pack
