// The CHD header and the CD track table from the metadata chain; the map is in ChdMap.cpp.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "media/ChdFormat.h"
#include "media/ChdMap.h"

namespace brindle::media::chd {
namespace {

constexpr std::size_t kMetaHeaderBytes = 16;
constexpr std::uint32_t kTrackPadding = 4;  // each track's frames are padded to a multiple of 4
constexpr std::uint32_t kTagTrackV2 = Tag("CHT2");
constexpr std::uint32_t kTagTrackV1 = Tag("CHTR");
constexpr std::uint32_t kTagTrackTable = Tag("CHCD");
// The binary track table (CHCD): a count, then 99 entries of six 32-bit fields.
constexpr std::size_t kTrackTableEntryBytes = 24;

std::uint64_t BigEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::uint8_t b : bytes) value = value << 8 | b;
  return value;
}

// Table k gives what a byte contributes to the CRC when k more bytes follow it, so eight bytes
// are taken at once rather than one after another (every hunk read is checked, so this is hot).
using Crc16Tables = std::array<std::array<std::uint16_t, 256>, 8>;
constexpr Crc16Tables MakeCrc16Tables() {
  Crc16Tables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    tables[0][i] = static_cast<std::uint16_t>(crc);
  }
  for (std::size_t k = 1; k < tables.size(); ++k) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint16_t before = tables[k - 1][i];
      tables[k][i] = static_cast<std::uint16_t>(before << 8 ^ tables[0][before >> 8]);
    }
  }
  return tables;
}
constexpr Crc16Tables kCrc16Tables = MakeCrc16Tables();

std::optional<Header> ParseHeader(std::span<const std::uint8_t, kHeaderBytes> bytes,
                                  std::uint64_t fileSize, std::string& why) {
  if (std::memcmp(bytes.data(), "MComprHD", 8) != 0) {
    why = "is not a CHD file.";
    return std::nullopt;
  }
  const auto version = BigEndian(bytes.subspan(12, 4));
  if (version != 5) {
    why = "is a CHD file of version " + std::to_string(version) +
          "; only version 5 is read (chdman copy converts older ones).";
    return std::nullopt;
  }
  if (BigEndian(bytes.subspan(8, 4)) < kHeaderBytes) {
    why = "has a damaged CHD header (its length is too small).";
    return std::nullopt;
  }
  if (std::any_of(bytes.begin() + 104, bytes.begin() + 124, [](std::uint8_t b) { return b; })) {
    why =
        "needs a parent CHD file (it holds only the differences from it), which this reader "
        "does not open; chdman copy can make a standalone CHD.";
    return std::nullopt;
  }
  Header header;
  for (int i = 0; i < 4; ++i)
    header.codecs[i] = static_cast<std::uint32_t>(BigEndian(bytes.subspan(16 + 4 * i, 4)));
  header.logicalBytes = BigEndian(bytes.subspan(32, 8));
  header.mapOffset = BigEndian(bytes.subspan(40, 8));
  header.metaOffset = BigEndian(bytes.subspan(48, 8));
  header.hunkBytes = static_cast<std::uint32_t>(BigEndian(bytes.subspan(56, 4)));
  header.unitBytes = static_cast<std::uint32_t>(BigEndian(bytes.subspan(60, 4)));
  header.compressed = header.codecs[0] != 0;
  if (header.unitBytes != kFrameBytes || header.hunkBytes == 0 ||
      header.hunkBytes > kMaxHunkBytes || header.hunkBytes % header.unitBytes != 0) {
    why = "is not a CD image (its hunks are not whole 2448-byte CD frames).";
    return std::nullopt;
  }
  if (header.logicalBytes == 0 || header.logicalBytes > kMaxLogicalBytes) {
    why = "has a damaged CHD header (a disc size of " + std::to_string(header.logicalBytes) +
          " bytes).";
    return std::nullopt;
  }
  if (header.mapOffset < kHeaderBytes || header.mapOffset >= fileSize) {
    why = "is cut off or damaged: its hunk map lies outside the file.";
    return std::nullopt;
  }
  header.hunkCount =
      static_cast<std::uint32_t>((header.logicalBytes + header.hunkBytes - 1) / header.hunkBytes);
  return header;
}

// "TRACK:1 TYPE:MODE1_RAW SUBTYPE:NONE FRAMES:1234 PREGAP:0 PGTYPE:MODE1 ..."; fields in any
// order, unknown ones skipped.
bool ParseTrackText(std::string_view text, CdTrack& track) {
  bool haveNumber = false, haveType = false, haveFrames = false;
  std::string pregapType;
  std::uint32_t pregap = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = field.substr(0, colon);
    const std::string_view value = field.substr(colon + 1);
    auto number = [&](std::uint32_t& out) {
      const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), out);
      return ec == std::errc() && ptr == value.data() + value.size();
    };
    std::uint32_t n = 0;
    if (key == "TRACK" && number(n)) {
      track.number = static_cast<int>(std::min<std::uint32_t>(n, 1000));
      haveNumber = true;
    } else if (key == "TYPE") {
      track.type = std::string(value.substr(0, 32));
      haveType = true;
    } else if (key == "FRAMES" && number(n)) {
      track.frames = n;
      haveFrames = true;
    } else if (key == "PREGAP" && number(n)) {
      pregap = n;
    } else if (key == "POSTGAP" && number(n)) {
      track.postgap = std::min(n, kMaxTrackFrames);
    } else if (key == "PGTYPE") {
      pregapType = std::string(value.substr(0, 32));
    }
  }
  // A pregap type starting with V means the pregap's frames are stored with the track.
  // Otherwise the pregap is on the disc but not in the file (a CUE sheet's PREGAP).
  if (!pregapType.empty() && pregapType[0] == 'V') {
    track.storedPregap = pregap;
  } else {
    track.unstoredPregap = std::min(pregap, kMaxTrackFrames);
  }
  return haveNumber && haveType && haveFrames;
}

std::optional<std::vector<CdTrack>> ParseTrackTable(std::span<const std::uint8_t> bytes) {
  static constexpr const char* kTypes[] = {"MODE1",       "MODE1_RAW",   "MODE2",
                                           "MODE2_FORM1", "MODE2_FORM2", "MODE2_FORM_MIX",
                                           "MODE2_RAW",   "AUDIO"};
  if (bytes.size() < 4) return std::nullopt;
  const auto count = BigEndian(bytes.subspan(0, 4));
  if (count == 0 || count > kMaxTracks || bytes.size() < 4 + count * kTrackTableEntryBytes)
    return std::nullopt;
  std::vector<CdTrack> tracks;
  for (std::size_t i = 0; i < count; ++i) {
    const auto entry = bytes.subspan(4 + i * kTrackTableEntryBytes, kTrackTableEntryBytes);
    const auto type = BigEndian(entry.subspan(0, 4));
    if (type >= std::size(kTypes)) return std::nullopt;
    CdTrack track;
    track.number = static_cast<int>(i + 1);
    track.type = kTypes[type];
    track.frames = static_cast<std::uint32_t>(BigEndian(entry.subspan(16, 4)));
    tracks.push_back(track);
  }
  return tracks;
}

std::optional<std::vector<CdTrack>> ReadTracks(const ByteSource& source, const Header& header,
                                               std::string& why) {
  std::vector<CdTrack> tracks;
  std::uint64_t offset = header.metaOffset;
  for (int entries = 0; offset != 0; ++entries) {
    std::array<std::uint8_t, kMetaHeaderBytes> head{};
    if (entries >= kMaxMetadataEntries || offset > source.size() ||
        source.size() - offset < kMetaHeaderBytes || !source.readAt(offset, head)) {
      why = "has a damaged metadata chain.";
      return std::nullopt;
    }
    const auto tag = static_cast<std::uint32_t>(BigEndian(std::span(head).subspan(0, 4)));
    const auto length = static_cast<std::uint32_t>(BigEndian(std::span(head).subspan(5, 3)));
    const std::uint64_t next = BigEndian(std::span(head).subspan(8, 8));
    if (tag == kTagTrackV2 || tag == kTagTrackV1 || tag == kTagTrackTable) {
      if (length > kMaxTrackMetadataBytes || source.size() - offset - kMetaHeaderBytes < length) {
        why = "has a damaged CD track entry in its metadata.";
        return std::nullopt;
      }
      std::vector<std::uint8_t> data(length);
      if (!source.readAt(offset + kMetaHeaderBytes, data)) {
        why = "could not be read (its metadata).";
        return std::nullopt;
      }
      if (tag == kTagTrackTable) {
        auto table = ParseTrackTable(data);
        if (!table) {
          why = "has a damaged CD track table in its metadata.";
          return std::nullopt;
        }
        tracks.insert(tracks.end(), table->begin(), table->end());
      } else {
        const auto text = std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
        CdTrack track;
        if (!ParseTrackText(text.substr(0, text.find('\0')), track)) {
          why = "has a damaged CD track entry in its metadata.";
          return std::nullopt;
        }
        tracks.push_back(track);
      }
      if (tracks.size() > kMaxTracks) {
        why = "lists more than 99 tracks.";
        return std::nullopt;
      }
    }
    offset = next;
  }
  if (tracks.empty()) {
    why = "is not a CD image (it has no CD track table).";
    return std::nullopt;
  }
  std::sort(tracks.begin(), tracks.end(),
            [](const CdTrack& a, const CdTrack& b) { return a.number < b.number; });
  std::uint64_t chdFrame = 0, discFrame = 0;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    CdTrack& track = tracks[i];
    if (track.number != static_cast<int>(i + 1) || FrameDataBytes(track.type) == 0 ||
        track.frames == 0 || track.frames > kMaxTrackFrames || track.storedPregap >= track.frames) {
      why = "has a damaged CD track table (track " + std::to_string(track.number) + ").";
      return std::nullopt;
    }
    track.chdFrame = chdFrame;
    track.discFrame = discFrame + track.unstoredPregap;
    chdFrame += (track.frames + kTrackPadding - 1) / kTrackPadding * kTrackPadding;
    discFrame += std::uint64_t{track.unstoredPregap} + track.frames + track.postgap;
  }
  // The last track's padding need not be stored; its frames must be.
  const CdTrack& last = tracks.back();
  if ((last.chdFrame + last.frames) * kFrameBytes >
      std::uint64_t(header.hunkCount) * header.hunkBytes) {
    why = "is damaged: its tracks hold more frames than its hunks.";
    return std::nullopt;
  }
  return tracks;
}

}  // namespace

std::string TagText(std::uint32_t tag) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((tag >> shift) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}

std::uint16_t Crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
  const auto& t = kCrc16Tables;
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  for (; left >= 8; left -= 8, p += 8) {
    crc = static_cast<std::uint16_t>(t[7][(crc >> 8 ^ p[0]) & 0xFF] ^ t[6][(crc ^ p[1]) & 0xFF] ^
                                     t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^
                                     t[1][p[6]] ^ t[0][p[7]]);
  }
  for (; left > 0; --left, ++p)
    crc = static_cast<std::uint16_t>(crc << 8 ^ t[0][(crc >> 8 ^ *p) & 0xFF]);
  return crc;
}

std::uint32_t FrameDataBytes(const std::string& type) {
  if (type == "MODE1" || type == "MODE2_FORM1") return 2048;
  if (type == "MODE2_FORM2") return 2324;
  if (type == "MODE2" || type == "MODE2_FORM_MIX") return 2336;
  if (type == "MODE1_RAW" || type == "MODE2_RAW" || type == "AUDIO") return kSectorBytes;
  return 0;
}

std::optional<std::uint32_t> UserDataOffset(const std::string& type) {
  if (type == "MODE1" || type == "MODE2_FORM1") return 0;
  if (type == "MODE1_RAW") return 16;
  if (type == "MODE2_RAW") return 24;  // sync, header, subheader: Form 1 data after them
  if (type == "MODE2" || type == "MODE2_FORM_MIX") return 8;
  return std::nullopt;
}

std::string CueMode(const std::string& type) {
  if (type == "AUDIO") return "AUDIO";
  if (type == "MODE1") return "MODE1/2048";
  if (type == "MODE1_RAW") return "MODE1/2352";
  if (type == "MODE2_RAW") return "MODE2/2352";
  if (type == "MODE2_FORM1") return "MODE2/2048";
  if (type == "MODE2_FORM2") return "MODE2/2324";
  return "MODE2/2336";
}

std::optional<Layout> ReadLayout(const ByteSource& source, std::string& why) {
  std::array<std::uint8_t, kHeaderBytes> head{};
  if (source.size() < kHeaderBytes || !source.readAt(0, head)) {
    why = "is too short to be a CHD file.";
    return std::nullopt;
  }
  auto header = ParseHeader(head, source.size(), why);
  if (!header) return std::nullopt;
  auto tracks = ReadTracks(source, *header, why);
  if (!tracks) return std::nullopt;
  auto hunks = ReadMap(source, *header, why);
  if (!hunks) return std::nullopt;
  return Layout{*header, std::move(*hunks), std::move(*tracks)};
}

}  // namespace brindle::media::chd
