// The options that choose where the disc is read from (the image as the first argument or
// --image FILE, or --drive LETTER, and the transport), shared by every command that reads a
// disc, and opening the disc they name.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/Disc.h"
#include "cli/DriveSide.h"
#include "cli/Session.h"
#include "media/BlockDevice.h"

namespace CLI {
class App;
}

namespace brindle::cli {

// No upper bound on a command's arguments.
inline constexpr std::size_t kAny = static_cast<std::size_t>(-1);

struct SourceOptions {
  std::string image;
  std::string drive;
  TransportChoice transport = TransportChoice::Auto;
  // The command's own arguments, in order, once the image has been taken from their front.
  std::vector<std::string> arguments;

  // Registers -i/--image, -d/--drive and --transport on command; one of --image and --drive is
  // then required.
  void addTo(CLI::App& command);
  // The same, and the words after the command: the image first unless --image or --drive names
  // the source, then between least and most arguments of the command's own, shown in the usage
  // as usage ("OUTDIR [DIR...]").
  void addTo(CLI::App& command, const std::string& usage, std::size_t least, std::size_t most);
  // Registers --transport alone (the drive list needs no disc).
  static void addTransport(CLI::App& command, TransportChoice& choice);
};

// Opens the disc the options name, through the Opera library (any container, or the drive read
// many blocks per command); tells err why not.
std::optional<Disc> OpenSourceDisc(const SourceOptions& source, std::ostream& err);

// The block device the options name, for commands that read tracks rather than files: an image's
// container needs no Opera volume on it; a drive is opened as every command opens it.
struct SourceDevice {
  std::optional<Disc> disc;                   // a drive
  std::unique_ptr<media::BlockDevice> image;  // an image's container
  media::BlockDevice* device() const { return image ? image.get() : disc->device.get(); }
};
std::optional<SourceDevice> OpenSourceDevice(const SourceOptions& source, std::ostream& err);

// The source as the window's own commands read it: a Session over the image, the drive, or a
// container other than the plain image read block by block as a drive is.
class WindowSource {
 public:
  // Nothing, after telling err, when the drive named cannot be used.
  static std::unique_ptr<WindowSource> Open(const SourceOptions& source, std::ostream& err);

  Session& session() { return *session_; }
  // The container that holds the disc when it is not the window's own plain image; else null.
  const media::BlockDevice* container() const {
    return fromContainer_ ? container_.get() : nullptr;
  }

 private:
  WindowSource() = default;

  std::unique_ptr<DriveSide> side_;
  std::unique_ptr<media::BlockDevice> container_;
  bool fromContainer_ = false;
  // The window a container's reader tells of unreadable blocks; set once the session exists.
  reader::ReaderWindow* containerWindow_ = nullptr;
  std::optional<Session> session_;
};

}  // namespace brindle::cli
