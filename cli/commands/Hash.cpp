// brindle-cli hash: per track, the size, CRC-32, MD5 and SHA-1 of the track file a dump of the
// disc holds, whatever the source stores (rebuilt Mode 1 sectors where it keeps user data only).
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/Command.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "cli/commands/HashWithMeter.h"
#include "identify/TrackHashes.h"
#include "media/Containers.h"

namespace brindle::cli {
namespace {

struct HashOptions {
  SourceOptions source;
  bool json = false;
  bool quiet = false;
  bool userData = false;
};

nlohmann::ordered_json DigestsJson(const identify::Digests& d) {
  return {{"size", d.size},
          {"crc32", identify::Hex(d.crc32)},
          {"md5", identify::Hex(d.md5)},
          {"sha1", identify::Hex(d.sha1)}};
}

void PrintDigests(const identify::Digests& d, const char* indent) {
  std::cout << indent << "size  " << d.size << '\n'
            << indent << "crc32 " << identify::Hex(d.crc32) << '\n'
            << indent << "md5   " << identify::Hex(d.md5) << '\n'
            << indent << "sha1  " << identify::Hex(d.sha1) << '\n';
}

int Run(const HashOptions& options) {
  const auto source = OpenSourceDevice(options.source, std::cerr);
  if (!source) return kExitFailed;
  media::BlockDevice* device = source->device();
  if (const std::string why = identify::CheckTrackSizes(device->tracks()); !why.empty()) {
    std::cerr << why << '\n';
    return kExitFailed;
  }

  const auto hashes = HashWithMeter(*device, options.userData, options.quiet);
  std::uint64_t bad = 0;
  for (const auto& track : hashes) bad += track.badSectors;

  if (options.json) {
    auto tracks = nlohmann::ordered_json::array();
    for (const auto& t : hashes) {
      nlohmann::ordered_json track{{"number", t.track.number},
                                   {"mode", t.track.mode},
                                   {"sectors", t.track.pregapSectors + t.track.sectorCount},
                                   {"pregapSectors", t.track.pregapSectors},
                                   {"unreadableSectors", t.badSectors},
                                   {"raw", DigestsJson(t.raw)}};
      if (t.user) track["userData"] = DigestsJson(*t.user);
      tracks.push_back(std::move(track));
    }
    nlohmann::ordered_json out{{"source", device->describe()}, {"tracks", tracks}};
    std::cout << out.dump(2) << '\n';
  } else {
    for (const auto& t : hashes) {
      std::cout << "Track " << t.track.number << " (" << t.track.mode << ", "
                << t.track.pregapSectors + t.track.sectorCount << " sectors of 2352 bytes";
      if (t.track.pregapSectors) std::cout << ", " << t.track.pregapSectors << " of them pregap";
      std::cout << ")\n";
      PrintDigests(t.raw, "  ");
      if (t.user) {
        std::cout << "  user data alone (2048-byte sectors):\n";
        PrintDigests(*t.user, "    ");
      }
      if (t.badSectors) {
        std::cout << "  " << t.badSectors
                  << " sectors could not be read and were hashed as zeros\n";
      }
    }
  }
  if (bad) {
    std::cerr << bad << " sectors could not be read: these hashes are not the disc's.\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

RunCommand SetupHash(CLI::App& command) {
  auto options = std::make_shared<HashOptions>();
  options->source.addTo(command, "", 0, 0);
  command.add_flag("--json", options->json, "Print the hashes as JSON");
  command.add_flag("-q,--quiet", options->quiet, "No progress meter");
  command.add_flag("--user-data", options->userData,
                   "Also hash the 2048-byte user data of each data track, as ISO lists carry it");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
