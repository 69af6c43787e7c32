// One run of the command-line tool: a source (an image file or a drive), a PlainWindow
// standing in for the window, and the reader's actions driven through it exactly as the window
// drives them.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "reader/PlainWindow.h"
#include "reader/VolumeReader.h"

namespace brindle::cli {

// Where the disc is read from: the source kind and the drive sector reader that serves drive
// reads (unused for an image).
struct Source {
  reader::SectorSource kind = reader::SectorSource::Image;
  std::string imagePath;          // UTF-8, for an image
  reader::DriveReader readDrive;  // for a drive
  std::string driveLabel;         // for a drive: "E: VENDOR PRODUCT"
};

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// Stopped by Ctrl+C or SIGTERM, as shells report a command ended by SIGINT.
inline constexpr int kExitInterrupted = 130;

class Session {
 public:
  // Messages the window would show are written to err as they come, one per line.
  Session(Source source, std::ostream& err);

  // The window the reader's actions run against; a drive reader shows its messages there.
  reader::ReaderWindow& window() { return window_; }

  // Opens the disc and lists the root; false (after a message) when it did not complete.
  bool open();
  // Enters each directory in turn, by the trimmed name of a "*dir" line (UTF-8); false after a
  // message when one is missing or cannot be listed.
  bool enter(const std::vector<std::string>& directories);

  // The commands; each returns the exit status.
  int info(std::ostream& out);
  int list(const std::vector<std::string>& directories, std::ostream& out);
  int extract(const std::string& outDir, const std::vector<std::string>& directories);

 private:
  // Writes the messages shown since the last call; true when there were none.
  bool flushMessages();
  int status(bool completed);
  void tell(const std::string& message);

  Source source_;
  std::ostream& err_;
  reader::PlainWindow window_;
  reader::VolumeReader reader_;
  std::size_t messagesShown_ = 0;
  bool anyMessage_ = false;
};

}  // namespace brindle::cli
