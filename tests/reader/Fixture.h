// Shared scene for the reader's tests: a scratch folder, images written by the builder, a
// PlainWindow with a reader over it, and an in-process drive that serves an image's blocks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "OperaImageBuilder.h"
#include "reader/PlainWindow.h"
#include "reader/VolumeReader.h"

namespace brindle::testing {

// A folder removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // The folder with a trailing separator, as the extract dialog's answer gives it.
  std::string prefix() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

// A path from UTF-8 text (the reader's convention), on every host.
std::filesystem::path Utf8Path(const std::string& utf8);

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// Answers one-sector reads from image bytes, like a drive holding the disc. Blocks listed in
// failing come back empty after the window was told, as the drive sector reader does.
class FakeDrive {
 public:
  FakeDrive(std::vector<std::uint8_t> image, reader::ReaderWindow& window)
      : image_(std::move(image)), window_(window) {}

  sector::SectorData read(std::int32_t lba, std::int16_t count);
  reader::DriveReader reader() {
    return [this](std::int32_t lba, std::int16_t count) { return read(lba, count); };
  }

  std::vector<std::int32_t> lbas;      // every block asked for, in order
  std::vector<std::int16_t> counts;    // the count of every call
  std::set<std::int32_t> failing;      // blocks that always fail
  std::set<std::size_t> failingCalls;  // calls (0-based) that fail

 private:
  std::vector<std::uint8_t> image_;
  reader::ReaderWindow& window_;
};

// A window and a reader over an image file in a scratch folder.
struct ImageScene {
  explicit ImageScene(const OperaImage& image, const std::string& name = "disc.iso");

  // Opens the image through the open dialog; true when the open completed.
  bool open();
  // Double-clicks the line equal to text (the test fails when there is none).
  bool doubleClick(const std::string& text);
  // The line of the entry named name in the current listing ("" when there is none).
  std::string lineOf(const std::string& name) const;

  ScratchDir dir;
  std::string imagePath;
  reader::PlainWindow window;
  reader::VolumeReader reader{window,
                              [](std::int32_t, std::int16_t) { return sector::SectorData{}; }};
};

// Trimmed names of the listing's lines, navigation lines included.
std::vector<std::string> Names(const reader::PlainWindow& window);

}  // namespace brindle::testing
