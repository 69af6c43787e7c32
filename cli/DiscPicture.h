// The disc's pictures as the commands get them: a picture file's bytes read whole from the disc,
// the banner found in the root, and the result scaled and written as PNG.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/Disc.h"
#include "pictures/Picture.h"

namespace brindle::cli {

// No picture form holds more: 2048 x 2048 pixels of 16 bits, with room for chunks around them.
inline constexpr std::uint32_t kMaxPictureBytes = 16u << 20;

// The name the console looks for in the root.
inline constexpr const char* kBannerName = "BannerScreen";

// The entry's bytes, every block read good from some copy; nothing after telling err (an entry
// larger than kMaxPictureBytes, or one with blocks no copy could give).
std::optional<std::vector<std::uint8_t>> ReadPictureBytes(media::BlockDevice& device,
                                                          const opera::Entry& entry,
                                                          const std::string& path,
                                                          std::ostream& err);

// The decoded picture of bytes read from path, or nothing after telling err what it is not.
std::optional<pictures::Picture> DecodeNamed(const std::vector<std::uint8_t>& bytes,
                                             const std::string& path, std::ostream& err);

// The disc's banner (BannerScreen in the root, its name's letter case aside), decoded; nothing
// after telling err.
std::optional<pictures::Picture> ReadBanner(const Disc& disc, std::ostream& err);

// Scales the picture to fit size pixels (0: as it is) and writes it as PNG to out ("" for
// standard output); the exit status.
int WritePicture(const pictures::Picture& picture, std::uint32_t size, const std::string& out,
                 std::ostream& err);

}  // namespace brindle::cli

namespace brindle::output {
class Folder;
}

namespace brindle::cli {

class Reporter;

// For extract --pictures: when the entry just written as name into folder is a picture (by its
// first bytes, then decoded whole), writes it beside as name + ".png". Files of other kinds are
// passed over in silence; a picture that does not decode, or a PNG that cannot be written, is
// told to reporter. False only when a PNG could not be written.
bool WritePictureBeside(media::BlockDevice& device, const opera::Entry& entry,
                        const output::Folder& folder, const std::string& name,
                        const std::string& shownPath, Reporter& reporter);

}  // namespace brindle::cli
