// Parsing a CUE sheet and placing its tracks: pure functions over the text and the file sizes.
#include "media/CueSheet.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace brindle::media {
namespace {

constexpr std::uint32_t kFramesPerSecond = 75;
constexpr std::size_t kMaxCueFiles = 99;

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The next blank-separated word of rest (removed from it); empty at the end of the line.
std::string_view NextWord(std::string_view& rest) {
  rest = Trim(rest);
  std::size_t end = 0;
  while (end < rest.size() && !IsBlank(rest[end])) ++end;
  const std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end);
  return word;
}

// A decimal number of 1 to maxDigits digits, nothing else.
std::optional<std::uint32_t> Number(std::string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

// "mm:ss:ff" in frames (75 a second); nothing when malformed or out of range.
std::optional<std::uint32_t> Frames(std::string_view text) {
  const std::size_t first = text.find(':');
  const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto m = Number(text.substr(0, first), 3);
  const auto s = Number(text.substr(first + 1, second - first - 1), 2);
  const auto f = Number(text.substr(second + 1), 2);
  if (!m || !s || !f || *s >= 60 || *f >= kFramesPerSecond) return std::nullopt;
  return (*m * 60 + *s) * kFramesPerSecond + *f;
}

struct ModeInfo {
  std::string_view text;
  CueTrackKind kind;
  std::uint32_t sectorSize;
  SectorMode mode;
};

constexpr std::array<ModeInfo, 8> kModes = {{
    {"MODE1/2048", CueTrackKind::Data, 2048, SectorMode::Mode1},
    {"MODE1/2352", CueTrackKind::Data, 2352, SectorMode::Mode1},
    {"MODE2/2352", CueTrackKind::Data, 2352, SectorMode::Mode2Form1},
    {"MODE2/2336", CueTrackKind::Data, 2336, SectorMode::Mode2Form1},
    {"CDI/2352", CueTrackKind::Data, 2352, SectorMode::Mode2Form1},
    {"CDI/2336", CueTrackKind::Data, 2336, SectorMode::Mode2Form1},
    {"AUDIO", CueTrackKind::Audio, 2352, SectorMode::Mode1},
    {"CDG", CueTrackKind::Audio, 2448, SectorMode::Mode1},  // audio with its subcode
}};

// Reads the sheet line by line, keeping the line number for every message.
class Parser {
 public:
  Parser(const std::string& sheetName, const std::string& folder, MediaError& error)
      : folder_(folder), error_(error) {
    sheet_.name = sheetName;
  }

  std::optional<CueSheet> run(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte-order mark
    while (!text.empty() || line_ == 0) {
      ++line_;
      // A line ends at LF, CR LF or a lone CR.
      const std::size_t end = text.find_first_of("\r\n");
      const std::string_view content = text.substr(0, end);
      if (end == std::string_view::npos) {
        text = {};
      } else {
        text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
      }
      if (!command(content)) return std::nullopt;
    }
    if (!finishTrack()) return std::nullopt;
    if (sheet_.tracks.empty()) {
      failAt(0, "no TRACK");
      return std::nullopt;
    }
    return std::move(sheet_);
  }

 private:
  bool failAt(int line, const std::string& what) {
    error_.message = sheet_.name + (line > 0 ? " line " + std::to_string(line) : "") + ": " + what;
    return false;
  }
  bool failed(const std::string& what) { return failAt(line_, what); }

  bool command(std::string_view content) {
    std::string_view rest = content;
    const std::string keyword = Upper(NextWord(rest));
    if (keyword.empty()) return true;
    if (keyword == "FILE") return file(Trim(rest));
    if (keyword == "TRACK") return track(rest);
    if (keyword == "INDEX") return index(rest);
    if (keyword == "PREGAP" || keyword == "POSTGAP") return gap(keyword, rest);
    // REM, CATALOG, TITLE, PERFORMER, SONGWRITER, FLAGS, ISRC, CDTEXTFILE and the other
    // descriptive commands writers add say nothing about where the sectors are.
    return true;
  }

  bool file(std::string_view rest) {
    // FILE name type: the name may be quoted, or unquoted with blanks in it; the type is last.
    const std::size_t lastBlank = rest.find_last_of(" \t");
    if (lastBlank == std::string_view::npos) return failed("FILE needs a name and a type");
    const std::string type = Upper(rest.substr(lastBlank + 1));
    std::string_view name = Trim(rest.substr(0, lastBlank));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
      name = name.substr(1, name.size() - 2);
    } else if (name.find('"') != std::string_view::npos) {
      return failed("FILE name has an unmatched quote");
    }
    if (name.empty()) return failed("FILE needs a name and a type");
    if (type == "WAVE" || type == "MP3" || type == "AIFF") {
      return failed(type + " files are not supported, only BINARY files of raw sectors");
    }
    // MOTOROLA gives the byte order of audio samples; data sectors read the same either way.
    if (type != "BINARY" && type != "MOTOROLA") return failed("unknown file type " + type);
    if (!finishTrack()) return false;
    if (sheet_.files.size() >= kMaxCueFiles) return failed("more than 99 FILE commands");
    sheet_.files.push_back(CueFile{std::string(name), Beside(std::string(name)), line_});
    return true;
  }

  bool track(std::string_view rest) {
    const std::string_view numberText = NextWord(rest);
    const std::string mode = Upper(NextWord(rest));
    if (sheet_.files.empty()) return failed("TRACK before any FILE");
    const auto number = Number(numberText, 2);
    if (!number || *number < 1)
      return failed("malformed TRACK number \"" + std::string(numberText) + "\"");
    if (!finishTrack()) return false;
    if (!sheet_.tracks.empty() && static_cast<int>(*number) <= sheet_.tracks.back().number) {
      return failed("TRACK " + std::to_string(*number) + " follows TRACK " +
                    std::to_string(sheet_.tracks.back().number));
    }
    if (sheet_.tracks.size() >= kMaxCueTracks) return failed("more than 99 tracks");
    const auto known = std::find_if(kModes.begin(), kModes.end(),
                                    [&](const ModeInfo& m) { return m.text == mode; });
    if (known == kModes.end()) {
      return failed(mode.empty() ? "TRACK needs a mode" : "unknown track mode " + mode);
    }
    CueTrack t;
    t.number = static_cast<int>(*number);
    t.kind = known->kind;
    t.modeText = mode;
    t.sectorSize = known->sectorSize;
    t.sectorMode = known->mode;
    t.file = sheet_.files.size() - 1;
    t.line = line_;
    current_ = t;
    return true;
  }

  bool index(std::string_view rest) {
    const std::string_view numberText = NextWord(rest);
    const std::string_view timeText = NextWord(rest);
    const auto number = Number(numberText, 2);
    const auto frames = Frames(timeText);
    if (!number || !frames || !Trim(rest).empty()) {
      return failed("malformed INDEX (expected INDEX nn mm:ss:ff)");
    }
    if (!current_) return failed("INDEX outside a TRACK");
    if (*number == 0) {
      if (current_->index0 || seenIndex1_) return failed("INDEX 00 out of order");
      current_->index0 = *frames;
    } else if (*number == 1) {
      if (seenIndex1_) return failed("a second INDEX 01");
      if (current_->index0 && *frames < *current_->index0) {
        return failed("INDEX 01 before the track's INDEX 00");
      }
      current_->index1 = *frames;
      seenIndex1_ = true;
    }
    // Higher indexes mark places inside the track; they move nothing.
    return true;
  }

  bool gap(const std::string& keyword, std::string_view rest) {
    const auto frames = Frames(NextWord(rest));
    if (!frames || !Trim(rest).empty())
      return failed("malformed " + keyword + " (expected mm:ss:ff)");
    if (!current_) return failed(keyword + " outside a TRACK");
    (keyword == "PREGAP" ? current_->pregap : current_->postgap) = *frames;
    return true;
  }

  // Closes the track being read: it needs an INDEX 01 and must start no earlier in its file than
  // the previous track there.
  bool finishTrack() {
    if (!current_) return true;
    const CueTrack t = *current_;
    current_.reset();
    const bool hadIndex1 = std::exchange(seenIndex1_, false);
    if (!hadIndex1) return failAt(t.line, "TRACK " + std::to_string(t.number) + " has no INDEX 01");
    if (!sheet_.tracks.empty()) {
      const CueTrack& previous = sheet_.tracks.back();
      if (previous.file == t.file && t.start() < previous.index1) {
        return failAt(t.line, "TRACK " + std::to_string(t.number) + " starts before TRACK " +
                                  std::to_string(previous.number) + "'s INDEX 01");
      }
    }
    sheet_.tracks.push_back(t);
    return true;
  }

  // A file name as the sheet writes it, resolved beside the sheet unless it is absolute.
  std::string Beside(const std::string& name) const {
    const bool absolute = name.front() == '/' || name.front() == '\\' ||
                          (name.size() >= 3 && std::isalpha(static_cast<unsigned char>(name[0])) &&
                           name[1] == ':' && (name[2] == '\\' || name[2] == '/'));
    if (absolute || folder_.empty()) return name;
    return folder_ + (folder_.back() == '/' || folder_.back() == '\\' ? "" : "/") + name;
  }

  std::string folder_;
  MediaError& error_;
  CueSheet sheet_;
  std::optional<CueTrack> current_;
  bool seenIndex1_ = false;
  int line_ = 0;
};

}  // namespace

std::optional<CueSheet> ParseCueSheet(std::string_view text, const std::string& sheetName,
                                      const std::string& folder, MediaError& error) {
  return Parser(sheetName, folder, error).run(text);
}

std::optional<std::vector<CueTrackPlace>> PlaceCueTracks(const CueSheet& sheet,
                                                         const std::vector<std::uint64_t>& sizes,
                                                         MediaError& error) {
  auto fail = [&](const CueTrack& t, const std::string& what) {
    error.message = sheet.name + " line " + std::to_string(t.line) + ": TRACK " +
                    std::to_string(t.number) + " " + what;
    return std::nullopt;
  };
  std::vector<CueTrackPlace> places(sheet.tracks.size());
  std::uint64_t discBase = 0;  // disc sectors of the files before this one
  std::uint64_t gaps = 0;      // PREGAP and POSTGAP sectors so far: on the disc, in no file
  std::uint64_t startOffset = 0;
  for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
    const CueTrack& t = sheet.tracks[i];
    if (t.file >= sizes.size() || t.file >= sheet.files.size()) {
      error.message = sheet.name + ": the size of a file is missing";
      return std::nullopt;
    }
    const bool firstInFile = i == 0 || sheet.tracks[i - 1].file != t.file;
    const bool lastInFile = i + 1 == sheet.tracks.size() || sheet.tracks[i + 1].file != t.file;
    // Bytes before a file's first track start belong to that track, in its sector size.
    if (firstInFile) startOffset = std::uint64_t{t.start()} * t.sectorSize;
    const std::uint64_t fileSize = sizes[t.file];
    const std::string fileName = "\"" + sheet.files[t.file].name + "\"";

    CueTrackPlace& place = places[i];
    place.offset = startOffset + std::uint64_t{t.index1 - t.start()} * t.sectorSize;
    place.discSector = discBase + t.index1 + gaps + t.pregap;
    gaps += std::uint64_t{t.pregap} + t.postgap;
    if (lastInFile) {
      if (place.offset >= fileSize) {
        return fail(t, "starts at byte " + std::to_string(place.offset) + ", past the end of " +
                           fileName + " (" + std::to_string(fileSize) + " bytes)");
      }
      place.sectorCount = (fileSize - place.offset + t.sectorSize - 1) / t.sectorSize;
      discBase += t.index1 + place.sectorCount;
    } else {
      const CueTrack& next = sheet.tracks[i + 1];
      place.sectorCount = next.start() - t.index1;
      const std::uint64_t end =
          startOffset + std::uint64_t{next.start() - t.start()} * t.sectorSize;
      if (end > fileSize) {
        return fail(t, "needs " + std::to_string(end) + " bytes of " + fileName + ", which holds " +
                           std::to_string(fileSize));
      }
      startOffset = end;
    }
  }
  return places;
}

}  // namespace brindle::media
