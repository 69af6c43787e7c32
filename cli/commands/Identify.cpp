// brindle-cli identify: the DAT games whose track files the disc's tracks match, per track
// matched, size differs, hash differs or missing. Reads only the DAT files it is given.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/Command.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "cli/commands/HashWithMeter.h"
#include "identify/Dat.h"
#include "identify/Match.h"
#include "identify/TrackHashes.h"
#include "media/Containers.h"

namespace brindle::cli {
namespace {

struct IdentifyOptions {
  SourceOptions source;
  std::vector<std::string> dats;
  bool json = false;
  bool quiet = false;
};

nlohmann::ordered_json GameJson(const identify::GameMatch& match,
                                const std::vector<identify::TrackHashes>& hashes) {
  auto roms = nlohmann::ordered_json::array();
  for (const auto& r : match.roms) {
    nlohmann::ordered_json rom{{"name", r.rom->name}, {"verdict", identify::ToText(r.verdict)}};
    if (r.track) rom["track"] = hashes[*r.track].track.number;
    if (r.byUserData) rom["userData"] = true;
    roms.push_back(std::move(rom));
  }
  auto extra = nlohmann::ordered_json::array();
  for (std::size_t t : match.extraTracks) extra.push_back(hashes[t].track.number);
  return {{"game", match.game->name},
          {"description", match.game->description},
          {"dat", match.dat->file},
          {"full", match.full},
          {"matchedTracks", match.matched},
          {"roms", roms},
          {"extraTracks", extra}};
}

int Run(const IdentifyOptions& options) {
  std::vector<identify::Dat> dats;
  for (const std::string& path : options.dats) {
    std::string error;
    auto dat = identify::LoadDat(path, error);
    if (!dat) {
      std::cerr << error << '\n';
      return kExitFailed;
    }
    dats.push_back(std::move(*dat));
  }

  const auto source = OpenSourceDevice(options.source, std::cerr);
  if (!source) return kExitFailed;
  media::BlockDevice* device = source->device();
  if (const std::string why = identify::CheckTrackSizes(device->tracks()); !why.empty()) {
    std::cerr << why << '\n';
    return kExitFailed;
  }

  const bool userData = identify::WantsUserData(dats, device->tracks());
  const auto hashes = HashWithMeter(*device, userData, options.quiet);
  std::uint64_t bad = 0;
  for (const auto& t : hashes) bad += t.badSectors;
  const auto matches = identify::MatchGames(dats, hashes);
  const bool full = !matches.empty() && matches.front().full;

  if (options.json) {
    auto games = nlohmann::ordered_json::array();
    for (const auto& m : matches) games.push_back(GameJson(m, hashes));
    nlohmann::ordered_json out{{"source", device->describe()},
                               {"identified", full},
                               {"unreadableSectors", bad},
                               {"games", games}};
    std::cout << out.dump(2) << '\n';
  } else {
    if (matches.empty()) std::cout << "No game of the DAT files matches any track of the disc.\n";
    if (!matches.empty() && !full)
      std::cout << "No game matches fully; games that match some tracks:\n";
    for (const auto& m : matches) {
      std::cout << (m.full ? "Match: " : "Partial: ") << m.game->name << "  (" << m.matched
                << " of " << m.roms.size() << " tracks, " << m.dat->file << ")\n";
      for (const auto& r : m.roms) {
        std::cout << "  " << r.rom->name << ": " << identify::ToText(r.verdict);
        if (r.track) std::cout << " (track " << hashes[*r.track].track.number << ")";
        if (r.byUserData) std::cout << " [user data]";
        std::cout << '\n';
      }
      for (std::size_t t : m.extraTracks)
        std::cout << "  track " << hashes[t].track.number << " of the disc: not in this game\n";
    }
    if (bad) std::cout << bad << " sectors could not be read; they were hashed as zeros.\n";
  }
  return full ? kExitOk : kExitFailed;
}

}  // namespace

RunCommand SetupIdentify(CLI::App& command) {
  auto options = std::make_shared<IdentifyOptions>();
  options->source.addTo(command, "", 0, 0);
  command
      .add_option("--dat", options->dats, "DAT file (Logiqx XML or clrmamepro text); repeatable")
      ->required()
      ->check(CLI::ExistingFile);
  command.add_flag("--json", options->json, "Print the result as JSON");
  command.add_flag("-q,--quiet", options->quiet, "No progress meter");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli
