// Matching a disc's track hashes against DAT games: per track file of a game, matched, size
// differs, hash differs or missing; games that match fully first, then those matching some.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "identify/Dat.h"
#include "identify/TrackHashes.h"

namespace brindle::identify {

enum class RomVerdict { Matched, SizeDiffers, HashDiffers, Missing };
const char* ToText(RomVerdict verdict);

struct RomMatch {
  const DatRom* rom = nullptr;
  RomVerdict verdict = RomVerdict::Missing;
  std::optional<std::size_t> track;  // the disc's track (index into the hashes) it was held to
  bool byUserData = false;           // matched the 2048-byte user data (an ISO list's entry)
};

struct GameMatch {
  const Dat* dat = nullptr;
  const DatGame* game = nullptr;
  std::vector<RomMatch> roms;            // the game's track files, in its order
  std::vector<std::size_t> extraTracks;  // the disc's tracks no file of the game holds
  std::size_t matched = 0;
  bool full = false;  // every track file matched and no track left over
};

// True for the files of a game that are not tracks (the sheet, a subchannel file).
bool IsTrackFile(const DatRom& rom);

// The games of dats that match at least one of tracks: full matches first, then by the number of
// matched tracks, then in the DATs' order.
std::vector<GameMatch> MatchGames(const std::vector<Dat>& dats,
                                  const std::vector<TrackHashes>& tracks);

// True when some rom of dats has the size of a data track's user data (an ISO list): then the
// user data is worth hashing too.
bool WantsUserData(const std::vector<Dat>& dats, const std::vector<media::TrackInfo>& tracks);

}  // namespace brindle::identify
