// The options that choose where the disc is read from (--image FILE or --drive LETTER, and the
// transport), shared by every command that reads a disc, and opening the disc they name.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "cli/Disc.h"
#include "cli/DriveSide.h"
#include "cli/Session.h"
#include "media/BlockDevice.h"

namespace CLI {
class App;
}

namespace brindle::cli {

struct SourceOptions {
  std::string image;
  std::string drive;
  TransportChoice transport = TransportChoice::Auto;

  // Registers --image, --drive and --transport on command; one of --image and --drive is then
  // required.
  void addTo(CLI::App& command);
  // Registers --transport alone (the drive list needs no disc).
  static void addTransport(CLI::App& command, TransportChoice& choice);
};

// Opens the disc the options name, through the Opera library (any container, or the drive read
// many blocks per command); tells err why not.
std::optional<Disc> OpenSourceDisc(const SourceOptions& source, std::ostream& err);

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
