// The block device over a CUE sheet: the sheet read and checked, its files opened and measured,
// the first data track handed to a raw-sector reader.
#include "media/CueImage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

#include "media/CueSheet.h"
#include "media/ImageFile.h"
#include "media/RawSectors.h"

namespace brindle::media {
namespace {

// The file-name part of a path, and the folder before it ("" when there is none).
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

// Where the data track's sectors plainly are not what its TRACK line says (raw sectors said to
// be 2048 bytes, 2048-byte sectors said to be raw, the other raw size, the other mode), a
// sentence naming both; nothing when they agree or the evidence is not clear. Every sector
// would only fail its check otherwise, or be handed out as wrong bytes.
std::optional<std::string> ModeMismatch(const ImageFile& file, std::uint64_t fileSize,
                                        const CueTrack& track, const CueTrackPlace& place,
                                        const std::string& fileName) {
  const std::string says = "TRACK " + std::to_string(track.number) + " says " + track.modeText +
                           ", but \"" + fileName + "\" holds ";
  const auto rawElsewhere = [&](std::uint32_t size) -> std::optional<std::string> {
    const RawProbe probe = ProbeRawSectors(file, place.offset, size);
    if (probe.sectors < 2 || probe.raw() * 2 <= probe.sectors) return std::nullopt;
    const bool mode2 = probe.mode2 > probe.mode1;
    return says + "raw " + std::to_string(size) + "-byte Mode " + (mode2 ? "2" : "1") +
           " sectors (" + (mode2 ? "MODE2/" : "MODE1/") + std::to_string(size) + ")";
  };
  if (track.sectorSize == kBlockSize) {
    if (auto raw = rawElsewhere(2352)) return raw;
    return rawElsewhere(2448);
  }
  if (track.sectorSize != 2352 && track.sectorSize != 2448) return std::nullopt;
  const RawProbe probe = ProbeRawSectors(file, place.offset, track.sectorSize);
  if (probe.sectors == 0) return std::nullopt;
  if (probe.raw() * 2 <= probe.sectors) {
    if (auto other = rawElsewhere(track.sectorSize == 2352 ? 2448 : 2352)) return other;
    if (probe.raw() == 0 && (fileSize - place.offset) % kBlockSize == 0)
      return says +
             "no raw sectors where the track starts: its sectors look like 2048-byte "
             "blocks (MODE1/2048)";
    return std::nullopt;
  }
  const bool saysMode1 = track.sectorMode == SectorMode::Mode1;
  if (probe.raw() == (saysMode1 ? probe.mode2 : probe.mode1)) {
    return says + "Mode " + (saysMode1 ? "2" : "1") + " sectors (" +
           (saysMode1 ? "MODE2/" : "MODE1/") + std::to_string(track.sectorSize) + ")";
  }
  return std::nullopt;
}

// Where each track's raw view lies: its file (an index into the sheet's files) and its stored
// sectors.
struct RawPlace {
  std::size_t file = 0;
  RawTrack stored;
};

class CueImage final : public BlockDevice {
 public:
  CueImage(std::unique_ptr<RawImage> data, std::vector<TrackInfo> tracks, std::string dataMode,
           std::vector<std::optional<ImageFile>> files, std::size_t dataFile,
           std::vector<RawPlace> rawPlaces)
      : data_(std::move(data)),
        tracks_(std::move(tracks)),
        dataMode_(std::move(dataMode)),
        files_(std::move(files)),
        dataFile_(dataFile),
        rawPlaces_(std::move(rawPlaces)) {}

  std::uint64_t blockCount() const override { return data_->blockCount(); }
  std::string describe() const override {
    const std::size_t n = tracks_.size();
    return "BIN/CUE, " + std::to_string(n) + (n == 1 ? " track" : " tracks") + ", data track " +
           dataMode_;
  }
  std::vector<TrackInfo> tracks() const override { return tracks_; }
  std::optional<FileRange> fileRange(std::uint64_t first, std::uint64_t count) const override {
    return data_->fileRange(first, count);
  }

 protected:
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<BlockStatus> status) override {
    data_->read(first, out, status);
  }
  // Any track of the sheet, its part of its file before INDEX 01 included.
  void readRawSectors(std::size_t track, std::uint64_t first, std::span<std::uint8_t> out,
                      std::span<BlockStatus> status) override {
    const RawPlace& place = rawPlaces_[track];
    const ImageFile& file = place.file == dataFile_ ? data_->file() : *files_[place.file];
    const TrackInfo& info = tracks_[track];
    ReadRawSectors(file, place.stored, info.firstSector - info.pregapSectors, first, out, status);
  }

 private:
  std::unique_ptr<RawImage> data_;
  std::vector<TrackInfo> tracks_;
  std::string dataMode_;
  std::vector<std::optional<ImageFile>> files_;  // the data track's file lives in data_
  std::size_t dataFile_ = 0;
  std::vector<RawPlace> rawPlaces_;  // one per track
};

}  // namespace

bool LooksLikeCueSheet(std::span<const std::uint8_t> head, std::uint64_t size) {
  if (size > kMaxCueSheetBytes || head.empty()) return false;
  std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // Text: no control bytes but blanks and line ends (names may be UTF-8 or a legacy code page).
  const bool isText = std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 || c == '\t' || c == '\r' || c == '\n';
  });
  if (!isText) return false;
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return false;
  text.remove_prefix(start);
  const std::size_t end = text.find_first_of(" \t\r\n");
  std::string keyword(text.substr(0, end));
  for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static constexpr std::array<std::string_view, 8> kOpeners = {
      "FILE", "REM", "CATALOG", "TITLE", "PERFORMER", "SONGWRITER", "CDTEXTFILE", "FLAGS"};
  return std::find(kOpeners.begin(), kOpeners.end(), keyword) != kOpeners.end();
}

std::unique_ptr<BlockDevice> OpenCueImage(ImageFile sheetFile, const std::string& path,
                                          MediaError& error) {
  const auto [folder, name] = SplitPath(path);
  const auto sheetSize = sheetFile.size();
  if (!sheetSize) {
    error.message = "The size of \"" + path + "\" could not be found.";
    return nullptr;
  }
  if (*sheetSize > kMaxCueSheetBytes) {
    error.message = name + ": too large for a CUE sheet (" + std::to_string(*sheetSize) + " bytes)";
    return nullptr;
  }
  std::string text(static_cast<std::size_t>(*sheetSize), '\0');
  if (!sheetFile.readExact(0,
                           std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()))) {
    error.message = "\"" + path + "\" could not be read.";
    return nullptr;
  }
  const auto sheet = ParseCueSheet(text, name, folder, error);
  if (!sheet) return nullptr;

  // Open every file that holds a track: a missing one is named with its FILE line.
  std::vector<std::optional<ImageFile>> files(sheet->files.size());
  std::vector<std::uint64_t> sizes(sheet->files.size(), 0);
  for (const CueTrack& t : sheet->tracks) {
    if (files[t.file]) continue;
    const CueFile& file = sheet->files[t.file];
    files[t.file] = ImageFile::Open(file.path);
    const auto size = files[t.file] ? files[t.file]->size() : std::nullopt;
    if (!size) {
      error.message = name + " line " + std::to_string(file.line) + ": \"" + file.name +
                      "\" could not be opened (looked for " + file.path + ")";
      return nullptr;
    }
    sizes[t.file] = *size;
  }
  const auto places = PlaceCueTracks(*sheet, sizes, error);
  if (!places) return nullptr;

  const auto data = std::find_if(sheet->tracks.begin(), sheet->tracks.end(),
                                 [](const CueTrack& t) { return t.kind == CueTrackKind::Data; });
  if (data == sheet->tracks.end()) {
    error.message = name + ": no data track, only audio";
    return nullptr;
  }
  const CueTrackPlace& dataPlace =
      (*places)[static_cast<std::size_t>(data - sheet->tracks.begin())];

  if (const auto mismatch = ModeMismatch(*files[data->file], sizes[data->file], *data, dataPlace,
                                         sheet->files[data->file].name)) {
    error.message = name + " line " + std::to_string(data->line) + ": " + *mismatch;
    return nullptr;
  }

  std::vector<TrackInfo> infos;
  std::vector<RawPlace> rawPlaces;
  for (std::size_t i = 0; i < sheet->tracks.size(); ++i) {
    const CueTrack& t = sheet->tracks[i];
    const CueTrackPlace& place = (*places)[i];
    // The sectors from INDEX 00 to INDEX 01 lie in the file just before the track's own.
    const std::uint64_t pregap = t.index1 - t.start();
    infos.push_back(TrackInfo{t.number, t.modeText, t.sectorSize, place.discSector,
                              place.sectorCount, sheet->files[t.file].path, pregap});
    rawPlaces.push_back(
        RawPlace{t.file, RawTrack{place.offset - pregap * t.sectorSize, pregap + place.sectorCount,
                                  t.sectorSize, t.sectorMode}});
  }
  const RawTrack track{dataPlace.offset, dataPlace.sectorCount, data->sectorSize, data->sectorMode};
  auto device = std::make_unique<RawImage>(std::move(*files[data->file]),
                                           sheet->files[data->file].path, track);
  const std::size_t dataFile = data->file;
  return std::make_unique<CueImage>(std::move(device), std::move(infos), data->modeText,
                                    std::move(files), dataFile, std::move(rawPlaces));
}

}  // namespace brindle::media
