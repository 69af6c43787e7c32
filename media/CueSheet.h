// CUE sheets: the text that lists a disc's tracks and the BIN files holding them. Parsing and
// laying out the tracks are pure functions over the text and the files' sizes, so every rule is
// testable without files; the block device over a sheet is in CueImage.h.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "media/BlockDevice.h"
#include "media/RawImage.h"

namespace brindle::media {

inline constexpr std::size_t kMaxCueSheetBytes = 1 << 20;  // a larger file is not a sheet
inline constexpr int kMaxCueTracks = 99;

enum class CueTrackKind : std::uint8_t { Data, Audio };

struct CueFile {
  std::string name;  // as the sheet writes it
  std::string path;  // resolved beside the sheet (an absolute name is kept)
  int line = 0;
};

struct CueTrack {
  int number = 0;
  CueTrackKind kind = CueTrackKind::Data;
  std::string modeText;  // "MODE1/2352", "AUDIO", ... as the sheet writes it, in capitals
  std::uint32_t sectorSize = 0;
  SectorMode sectorMode = SectorMode::Mode1;  // data tracks only
  std::size_t file = 0;                       // index into CueSheet::files
  std::optional<std::uint32_t> index0;        // frames from the start of the file
  std::uint32_t index1 = 0;
  std::uint32_t pregap = 0;  // PREGAP frames: on the disc, not in the file
  std::uint32_t postgap = 0;
  int line = 0;  // of the TRACK command

  // Where the track's stored sectors begin in its file: INDEX 00 when there is one.
  std::uint32_t start() const { return index0.value_or(index1); }
};

struct CueSheet {
  std::string name;  // the sheet's file name, for messages
  std::vector<CueFile> files;
  std::vector<CueTrack> tracks;  // in sheet order
};

// The sheet's commands, checked: known track modes, well-formed INDEX, PREGAP and POSTGAP times,
// at most 99 tracks, every track inside a FILE with an INDEX 01. Names are resolved beside folder.
// Nothing, with error naming the sheet and line ("disc.cue line 4: ..."), when it is not usable.
std::optional<CueSheet> ParseCueSheet(std::string_view text, const std::string& sheetName,
                                      const std::string& folder, MediaError& error);

// True when head (a file's first bytes; the file is size bytes long) reads as a CUE sheet: small
// enough, text, and its first command (after a byte-order mark and blank lines) is one a sheet
// begins with (FILE, REM, CATALOG, TITLE, PERFORMER, ...).
bool LooksLikeCueSheet(std::span<const std::uint8_t> head, std::uint64_t size);

// A track placed in its file and on the disc.
struct CueTrackPlace {
  std::uint64_t offset = 0;       // byte offset of its INDEX 01 sector in its file
  std::uint64_t sectorCount = 0;  // from INDEX 01 to the track's end (the last one's may end
                                  // in a partial sector)
  std::uint64_t discSector = 0;   // of INDEX 01, counting every earlier sector and gap
};

// Places every track given the sizes of the sheet's files (one per CueSheet::files). In a file
// holding several tracks, each track's bytes are its sectors in its own sector size; a track
// ends where the next one in its file starts (its INDEX 00, else INDEX 01), the last one where
// the file ends. Nothing, with error naming the line, when a track lies past its file's end.
std::optional<std::vector<CueTrackPlace>> PlaceCueTracks(const CueSheet& sheet,
                                                         const std::vector<std::uint64_t>& sizes,
                                                         MediaError& error);

}  // namespace brindle::media
