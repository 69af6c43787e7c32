#include "identify/Match.h"

#include <algorithm>

namespace brindle::identify {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  return std::equal(end.rbegin(), end.rend(), text.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

// Every hash the rom gives equals the digests', and it gives at least one.
bool HashesEqual(const DatRom& rom, const Digests& digests) {
  if (!rom.crc32 && rom.md5.empty() && rom.sha1.empty()) return false;
  if (rom.crc32 && *rom.crc32 != digests.crc32) return false;
  if (!rom.md5.empty() && rom.md5 != Hex(digests.md5)) return false;
  if (!rom.sha1.empty() && rom.sha1 != Hex(digests.sha1)) return false;
  return true;
}

bool Matches(const DatRom& rom, const Digests& digests) {
  return (!rom.size || *rom.size == digests.size) && HashesEqual(rom, digests);
}

}  // namespace

const char* ToText(RomVerdict verdict) {
  switch (verdict) {
    case RomVerdict::Matched:
      return "matched";
    case RomVerdict::SizeDiffers:
      return "size differs";
    case RomVerdict::HashDiffers:
      return "hash differs";
    case RomVerdict::Missing:
      return "missing";
  }
  return "unknown";
}

bool IsTrackFile(const DatRom& rom) {
  for (const char* other : {".cue", ".sbi", ".gdi", ".ccd", ".sub", ".dat", ".txt"}) {
    if (EndsWith(rom.name, other)) return false;
  }
  return true;
}

std::vector<GameMatch> MatchGames(const std::vector<Dat>& dats,
                                  const std::vector<TrackHashes>& tracks) {
  std::vector<GameMatch> result;
  for (const Dat& dat : dats) {
    for (const DatGame& game : dat.games) {
      GameMatch match{&dat, &game, {}, {}, 0, false};
      std::vector<bool> used(tracks.size(), false);
      for (const DatRom& rom : game.roms) {
        if (IsTrackFile(rom)) match.roms.push_back(RomMatch{&rom, RomVerdict::Missing, {}, false});
      }
      // First the exact matches, wherever the track is.
      for (RomMatch& r : match.roms) {
        for (std::size_t t = 0; t < tracks.size() && !r.track; ++t) {
          if (used[t]) continue;
          const bool raw = Matches(*r.rom, tracks[t].raw);
          const bool user = !raw && tracks[t].user && Matches(*r.rom, *tracks[t].user);
          if (raw || user) {
            r = RomMatch{r.rom, RomVerdict::Matched, t, user};
            used[t] = true;
            ++match.matched;
          }
        }
      }
      if (match.matched == 0) continue;
      // The rest are held to the track in the same place, as a dump lists its tracks in order.
      for (std::size_t i = 0; i < match.roms.size(); ++i) {
        RomMatch& r = match.roms[i];
        if (r.track || i >= tracks.size() || used[i]) continue;
        used[i] = true;
        r.track = i;
        const bool sizeEqual = !r.rom->size || *r.rom->size == tracks[i].raw.size ||
                               (tracks[i].user && *r.rom->size == tracks[i].user->size);
        r.verdict = sizeEqual ? RomVerdict::HashDiffers : RomVerdict::SizeDiffers;
      }
      for (std::size_t t = 0; t < tracks.size(); ++t) {
        if (!used[t]) match.extraTracks.push_back(t);
      }
      match.full = match.matched == match.roms.size() && match.extraTracks.empty();
      result.push_back(std::move(match));
    }
  }
  std::stable_sort(result.begin(), result.end(), [](const GameMatch& a, const GameMatch& b) {
    if (a.full != b.full) return a.full;
    return a.matched > b.matched;
  });
  return result;
}

bool WantsUserData(const std::vector<Dat>& dats, const std::vector<media::TrackInfo>& tracks) {
  for (const media::TrackInfo& track : tracks) {
    if (track.mode.rfind("MODE1", 0) != 0) continue;
    const std::uint64_t userBytes = (track.pregapSectors + track.sectorCount) * media::kBlockSize;
    for (const Dat& dat : dats) {
      for (const DatGame& game : dat.games) {
        for (const DatRom& rom : game.roms) {
          if (rom.size == userBytes) return true;
        }
      }
    }
  }
  return false;
}

}  // namespace brindle::identify
