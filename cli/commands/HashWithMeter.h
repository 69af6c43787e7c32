// What hash and identify share: every track hashed, with a meter while it runs.
#pragma once

#include <iostream>
#include <vector>

#include "cli/Progress.h"
#include "identify/TrackHashes.h"
#include "media/BlockDevice.h"

namespace brindle::cli {

// Hashes every track, with a meter on standard error while it runs when that is a terminal
// (tracks as the files of a dump, and their bytes).
inline std::vector<identify::TrackHashes> HashWithMeter(media::BlockDevice& device, bool userData,
                                                        bool quiet) {
  const auto tracks = device.tracks();
  Reporter reporter(std::cerr, !quiet && ErrorIsTerminal());
  Progress progress(reporter, tracks.size(), identify::RawBytes(tracks));
  identify::HashOptions options;
  options.userData = userData;
  options.hashed = [&](std::uint64_t bytes) { progress.addBytes(bytes); };
  options.trackDone = [&] { progress.addFile(); };
  auto hashes = identify::HashTracks(device, options);
  progress.finish();
  return hashes;
}

}  // namespace brindle::cli
