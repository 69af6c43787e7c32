#include "cli/DiscPicture.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <sstream>

#include "cli/Png.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "opera/EntryReader.h"
#include "output/Folder.h"
#include "output/Names.h"
#include "pictures/Scale.h"

namespace brindle::cli {
namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The first bytes of a file in one of the picture forms: the banner's signature, or a chunk id
// the picture files begin with.
bool LooksLikePicture(std::span<const std::uint8_t> head) {
  if (head.size() < 8) return false;
  const std::string start(head.begin(), head.begin() + 8);
  return start == std::string(
                      "\x01"
                      "APPSCRN",
                      8) ||
         start.compare(0, 4, "CCB ") == 0 || start.compare(0, 4, "IMAG") == 0;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadPictureBytes(media::BlockDevice& device,
                                                          const opera::Entry& entry,
                                                          const std::string& path,
                                                          std::ostream& err) {
  if (entry.isDirectory()) {
    err << "\"" << path << "\" is a directory, not a picture.\n";
    return std::nullopt;
  }
  if (entry.byteCount > kMaxPictureBytes) {
    err << "\"" << path << "\" is " << entry.byteCount
        << " bytes, too large for any picture form.\n";
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(entry.byteCount);
  opera::EntryReader reader(device);
  opera::ReadReport report;
  const std::size_t got = reader.read(entry, 0, bytes, report);
  if (!report.complete()) {
    err << "\"" << path << "\": block " << report.damaged.front().block
        << " could not be read from any copy (" << media::ToText(report.damaged.front().status)
        << ").\n";
    return std::nullopt;
  }
  bytes.resize(got);
  return bytes;
}

std::optional<pictures::Picture> DecodeNamed(const std::vector<std::uint8_t>& bytes,
                                             const std::string& path, std::ostream& err) {
  pictures::Decoded decoded = pictures::DecodePicture(bytes);
  if (decoded.picture) return std::move(decoded.picture);
  err << "\"" << path << "\" is not a picture: ";
  if (decoded.form) err << "as a " << pictures::ToText(*decoded.form) << ", ";
  err << pictures::ToText(decoded.fault) << ".\n";
  return std::nullopt;
}

std::optional<pictures::Picture> ReadBanner(const Disc& disc, std::ostream& err) {
  const opera::Directory root = disc.volume->readDirectory(disc.volume->root());
  const opera::Entry* found = nullptr;
  for (const opera::Entry& entry : root.entries) {
    if (entry.name == kBannerName) {
      found = &entry;
      break;
    }
    if (found == nullptr && SameIgnoringCase(entry.name, kBannerName)) found = &entry;
  }
  if (found == nullptr) {
    err << "The disc in " << disc.source << " has no " << kBannerName << " in its root.\n";
    return std::nullopt;
  }
  const std::string name = output::Latin1ToUtf8(found->name);
  const auto bytes = ReadPictureBytes(*disc.device, *found, name, err);
  if (!bytes) return std::nullopt;
  return DecodeNamed(*bytes, name, err);
}

int WritePicture(const pictures::Picture& picture, std::uint32_t size, const std::string& out,
                 std::ostream& err) {
  const bool written = size == 0 ? WritePng(picture, out, err)
                                 : WritePng(pictures::FitWithin(picture, size), out, err);
  return written ? kExitOk : kExitFailed;
}

bool WritePictureBeside(media::BlockDevice& device, const opera::Entry& entry,
                        const output::Folder& folder, const std::string& name,
                        const std::string& shownPath, Reporter& reporter) {
  if (entry.isDirectory() || entry.byteCount > kMaxPictureBytes) return true;
  std::array<std::uint8_t, 8> head{};
  opera::EntryReader reader(device);
  opera::ReadReport report;
  if (reader.read(entry, 0, head, report) != head.size() || !LooksLikePicture(head)) return true;
  std::ostringstream quiet;
  const auto bytes = ReadPictureBytes(device, entry, shownPath, quiet);
  if (!bytes) return true;  // the file itself was reported when it was written
  const pictures::Decoded decoded = pictures::DecodePicture(*bytes);
  if (!decoded.picture) {
    if (decoded.form)
      reporter.line(shownPath + ": no PNG beside it: as a " + pictures::ToText(*decoded.form) +
                    ", " + pictures::ToText(decoded.fault) + ".");
    return true;
  }
  const std::string pngName = name + ".png";
  if (folder.has(pngName)) {
    reporter.line(shownPath + ": no PNG beside it: \"" + pngName + "\" is there already.");
    return true;
  }
  const std::vector<std::uint8_t> png = EncodePng(*decoded.picture);
  auto part = folder.createPart(pngName);
  if (png.empty() || !part || !part->file().writeAt(0, png) || !part->commit(pngName)) {
    reporter.line(shownPath + ": the PNG beside it could not be written.");
    return false;
  }
  return true;
}

}  // namespace brindle::cli
